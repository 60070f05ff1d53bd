#include "win/document/transparency.h"

#include <cstring>
#include <new>

#include "core/bmp/true_colour.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/bmp_writer.h"

namespace {

constexpr int kSquare = 8;
constexpr COLORREF kLightSquare = RGB(0xCC, 0xCC, 0xCC);
constexpr COLORREF kDarkSquare = RGB(0x99, 0x99, 0x99);

BYTE Premultiplied(BYTE colour, BYTE alpha) {
    return static_cast<BYTE>((colour * alpha + 127) / 255);
}

// The pixels of an 8-bit image whose entries have alpha.
bool TranslucentPixels(const BYTE* bytes, DWORD size, std::vector<BYTE>& rgba, int& width,
                       int& height) {
    const auto view = quantize::ViewPlainBmp(bytes, size, 256, false, true);
    if (!view || view->bits != 8) {
        return false;
    }
    rgba.resize(static_cast<std::size_t>(4 * view->width * view->rows));
    BYTE* out = rgba.data();
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        const BYTE* row = view->TopRow(y);
        for (std::uint64_t x = 0; x < view->width; ++x, out += 4) {
            const std::size_t e = row[x];
            out[0] = view->table[3 * e], out[1] = view->table[3 * e + 1];
            out[2] = view->table[3 * e + 2], out[3] = view->alpha[e];
        }
    }
    width = static_cast<int>(view->width);
    height = static_cast<int>(view->rows);
    return true;
}

// The pixels of a 32-bit image with an alpha channel, when one of them is below full alpha.
bool AlphaPixels(const BYTE* bytes, DWORD size, std::vector<BYTE>& rgba, int& width, int& height) {
    bmp::TrueColourSource source;
    if (bmp::CheckTrueColourSource(bytes, size, source) ||
        !bmp::AlphaChannelOf(bytes, source).has_value()) {
        return false;
    }
    std::uint64_t w = 0, h = 0;
    if (quantize::RgbaPixelsOf(bytes, size, rgba, w, h) != quantize::Outcome::Converted) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    for (std::size_t i = 3; i < rgba.size(); i += 4) {
        if (rgba[i] != 255) {
            return true;
        }
    }
    return false;
}

} // namespace

bool RgbaPixelsWithAlpha(const BYTE* bytes, DWORD size, bool translucent, std::vector<BYTE>& rgba,
                         int& width, int& height) {
    bool found = false;
    try {
        found = translucent ? TranslucentPixels(bytes, size, rgba, width, height)
                            : AlphaPixels(bytes, size, rgba, width, height);
    } catch (const std::bad_alloc&) {
        found = false;
    }
    if (!found) {
        std::vector<BYTE>().swap(rgba);
    }
    return found;
}

bool TransparentPixelsOf(const BYTE* bytes, DWORD size, bool translucent, std::vector<BYTE>& bgra) {
    int width = 0, height = 0;
    if (!RgbaPixelsWithAlpha(bytes, size, translucent, bgra, width, height)) {
        return false;
    }
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        BYTE* p = &bgra[i];
        const BYTE red = p[0];
        p[0] = Premultiplied(p[2], p[3]);
        p[1] = Premultiplied(p[1], p[3]);
        p[2] = Premultiplied(red, p[3]);
    }
    return true;
}

void FillCheckerboard(HDC dc, const RECT& area, int left, int top) {
    // One pattern of two squares a side, its origin at the image's top left corner.
    DWORD pattern[2 * kSquare * 2 * kSquare];
    for (int y = 0; y < 2 * kSquare; ++y) {
        for (int x = 0; x < 2 * kSquare; ++x) {
            const COLORREF c = (x / kSquare + y / kSquare) % 2 == 0 ? kLightSquare : kDarkSquare;
            pattern[y * 2 * kSquare + x] = GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
        }
    }
    HBITMAP tile = CreateBitmap(2 * kSquare, 2 * kSquare, 1, 32, pattern);
    HBRUSH brush = tile ? CreatePatternBrush(tile) : nullptr;
    if (brush != nullptr) {
        const int side = 2 * kSquare;
        SetBrushOrgEx(dc, ((left % side) + side) % side, ((top % side) + side) % side, nullptr);
        FillRect(dc, &area, brush);
        DeleteObject(brush);
    }
    if (tile != nullptr) {
        DeleteObject(tile);
    }
}

bool BlendOnto(HDC dc, const std::vector<BYTE>& bgra, int width, int height, const RECT& area) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
        return false;
    }
    std::memcpy(bits, bgra.data(), bgra.size());
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL drawn = AlphaBlend(dc, area.left, area.top, area.right - area.left,
                                  area.bottom - area.top, memory, 0, 0, width, height, blend);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return drawn != FALSE;
}
