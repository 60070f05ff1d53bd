#include "reduce/error_diffusion.h"

#include <cstring>

#include "document/bmp_layout.h"
#include "reduce/diffusion_palette.h"
#include "reduce/nearest_colour.h"

namespace reduce {
namespace {

inline std::uint8_t Clamp(int v) {
    return static_cast<std::uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v));
}

// Adds a share of the error to each channel of a pixel (stored blue, green, red).
inline void AddShare(std::uint8_t* pixel, int shareR, int shareG, int shareB) {
    pixel[0] = Clamp(pixel[0] + shareB);
    pixel[1] = Clamp(pixel[1] + shareG);
    pixel[2] = Clamp(pixel[2] + shareR);
}

// Dithers all rows, writing each index at the start of the pixel data, row y at y * W4.
// Every pixel is read before any index lands on it: an 8-bit row is never longer than a
// 24-bit one, and errors only go to pixels not yet visited.
void Dither(std::uint8_t* pixels, const TrueColourGeometry& g, const DiffusionPalette& palette,
            DiffusionObserver& observer) {
    NearestColour nearest(palette.data());
    const std::int64_t width = static_cast<std::int64_t>(g.width);
    const std::int64_t rows = static_cast<std::int64_t>(g.rows);
    const std::int64_t padded = static_cast<std::int64_t>(g.padded);
    const std::int64_t stride = static_cast<std::int64_t>(g.stride);
    const std::int64_t total = (rows - 1) * padded; // positions of all rows but the last

    for (std::int64_t y = 0; y < rows; ++y) {
        const bool lastRow = y == rows - 1;
        if (!lastRow) {
            ReportProgress(observer, y * padded, (y + 1) * padded, total);
        }
        std::uint8_t* p = pixels + y * stride;
        std::uint8_t* out = pixels + y * padded;
        for (std::int64_t x = 0; x < width; ++x, p += 3) {
            const int k = nearest.Find(p[2], p[1], p[0]);
            const int eR = p[2] - palette[4 * k];
            const int eG = p[1] - palette[4 * k + 1];
            const int eB = p[0] - palette[4 * k + 2];
            const bool hasRight = x + 1 < width;
            if (!lastRow) {
                if (eR != 0 || eG != 0 || eB != 0) {
                    const ErrorShares r = SharesOf(eR), gr = SharesOf(eG), b = SharesOf(eB);
                    if (hasRight) {
                        AddShare(p + 3, r.right, gr.right, b.right);
                        AddShare(p + stride + 3, r.downRight, gr.downRight, b.downRight);
                    }
                    AddShare(p + stride, r.down, gr.down, b.down);
                }
            } else if (eR + eG + eB != 0 && hasRight) {
                // The last row passes error only to the right, and only when the channel
                // errors do not cancel out.
                AddShare(p + 3, SharesOf(eR).right, SharesOf(eG).right, SharesOf(eB).right);
            }
            out[x] = static_cast<std::uint8_t>(k);
        }
        std::memset(out + width, 0, static_cast<std::size_t>(padded - width));
    }
}

} // namespace

GroupSizes GroupSizesFor(int fixedCount) {
    const int fixed = fixedCount < 0 ? 0 : (fixedCount > 256 ? 256 : fixedCount);
    const int basic = 256 - fixed > 42 ? 42 : 256 - fixed;
    const int free = 256 - fixed - basic;
    return {fixed, basic, free < 0 ? 0 : free};
}

DiffusionResult DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                             const DiffusionInput& input, DiffusionObserver& observer) {
    const GroupSizes sizes = GroupSizesFor(input.fixedCount);
    observer.Opening(sizes.fixed, sizes.basic, sizes.free);

    TrueColourGeometry g{};
    std::uint16_t bitCount = 0;
    switch (CheckTrueColourSource(data, size, g, bitCount)) {
    case SourceCheck::Ok:
        break;
    case SourceCheck::NotTrueColour:
        if (size >= bmp::kHeadersSize && bitCount <= 8) {
            return {DiffusionOutcome::NotTrueColour, size};
        }
        return {DiffusionOutcome::UnsupportedLayout, size};
    case SourceCheck::UnsupportedLayout:
        return {DiffusionOutcome::UnsupportedLayout, size};
    case SourceCheck::Truncated:
        return {DiffusionOutcome::Truncated, size};
    }

    DiffusionPalette palette;
    FillFixedAndBasic(palette, sizes, input);
    if (!FillFreeGroup(palette, sizes, data + bmp::kHeadersSize, g, observer)) {
        return {DiffusionOutcome::NoMemory, size};
    }
    // A small image's 8-bit file is longer than its 24-bit one: grow before any pixel
    // changes, so that a failure leaves the image as it was.
    const std::uint64_t pixelBytes = g.rows * g.padded;
    const std::uint64_t newSize = bmp::k8BitPixelData + pixelBytes;
    if (newSize > size) {
        const ResizeResult grown = resize(newSize);
        if (!grown.resized) {
            return {DiffusionOutcome::NoMemory, size};
        }
        data = grown.data;
    }
    observer.PaletteComplete(palette.data());

    observer.Phase(2);
    if (g.rows > 0) {
        Dither(data + bmp::kHeadersSize, g, palette, observer);
    }
    std::memmove(data + bmp::k8BitPixelData, data + bmp::kHeadersSize, pixelBytes);
    MarkAs8Bit(data, static_cast<std::uint32_t>(pixelBytes));
    for (int j = 0; j < 256; ++j) {
        std::uint8_t* entry = data + bmp::kColourTable + 4 * j;
        entry[0] = palette[4 * j + 2];
        entry[1] = palette[4 * j + 1];
        entry[2] = palette[4 * j];
        entry[3] = 0;
    }
    if (newSize < size) {
        resize(newSize);
    }
    observer.Finished();
    return {DiffusionOutcome::Converted, newSize};
}

} // namespace reduce
