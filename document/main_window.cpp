#include "document/main_window.h"

#include <vector>

#include "app/app.h"
#include "document/bmp_layout.h"
#include "document/bmp_rle.h"
#include "document/file_commands.h"
#include "document/image_buffer.h"
#include "app/settings.h"
#include "palette/palette_dialog.h"
#include "reduce/diffusion_command.h"
#include "reduce/exact_command.h"
#include "res/resource.h"

ScreenPaletteState ScreenPalette;

void InvalidateScreenPalette() {
    if (ScreenPalette.built) {
        DeleteObject(ScreenPalette.object);
    }
    ScreenPalette.object = nullptr;
    ScreenPalette.built = FALSE;
}

void RepaintWindow(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    RedrawWindow(window, &client, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

// `table`: the colour-table entries, blue, green, red, reserved.
static void BuildScreenPalette(const BYTE* table, UINT entries) {
    std::vector<BYTE> record(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(record.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    for (UINT i = 0; i < entries; ++i) {
        const BYTE* quad = table + 4 * i;
        palette->palPalEntry[i] = {quad[2], quad[1], quad[0], 0};
    }
    ScreenPalette.object = CreatePalette(palette);
    ScreenPalette.built = TRUE;
}

// A bar's maximum is the image's extent beyond the client area, never below 0.
static int ScrollMaximum(LONG imageExtent, LONG clientExtent) {
    const long long beyond = static_cast<long long>(imageExtent) - clientExtent;
    return beyond > 0 ? static_cast<int>(beyond) : 0;
}

static void DrawImage(HWND window, HDC dc, const BYTE* image, const bmp::DrawPlan& plan,
                      const RECT& update) {
    const int left = -GetScrollPos(window, SB_HORZ);
    const int top = -GetScrollPos(window, SB_VERT);
    // A plain file's own header and colour table are the bitmap information; any other
    // header was rewritten as an equivalent plain one.
    const BYTE* info = plan.inPlace ? image + bmp::kInfoHeader : plan.info.data();
    const BYTE* table =
        plan.inPlace ? image + plan.tableOffset : plan.info.data() + plan.tableOffset;
    HPALETTE previous = nullptr;
    if (plan.colourCount != 0) {
        if (!ScreenPalette.built) {
            BuildScreenPalette(table, plan.colourCount);
        }
        previous = SelectPalette(dc, ScreenPalette.object, FALSE);
        RealizePalette(dc);
    }
    const int rows = plan.height < 0 ? -plan.height : plan.height;
    std::vector<BYTE> unpacked;
    const BYTE* pixels = image + plan.pixelOffset;
    if (plan.runLength) {
        bmp::UnpackRle(pixels, ImageBytes - plan.pixelOffset, plan.bitCount, plan.width, rows,
                       unpacked);
        pixels = unpacked.data();
    }
    SetDIBitsToDevice(dc, left, top, plan.width, rows, 0, 0, 0, plan.scanLines, pixels,
                      reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
    if (previous != nullptr) {
        SelectPalette(dc, previous, FALSE);
    }
    // Rows missing from a short file are the last ones stored: at the top of a bottom-up
    // image, at the bottom of a top-down one. They and the area beside and below the image
    // get the window background, so nothing stale stays visible.
    const int missing = rows - static_cast<int>(plan.scanLines);
    const int drawnTop = plan.height > 0 ? top + missing : top;
    ExcludeClipRect(dc, left, drawnTop, left + plan.width, drawnTop + rows - missing);
    FillRect(dc, &update, GetSysColorBrush(COLOR_WINDOW));
}

static void OnPaint(HWND window) {
    if (!HasAreaToPaint(window)) {
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const auto* image = ImageBuffer ? static_cast<const BYTE*>(GlobalLock(ImageBuffer)) : nullptr;
    const bmp::DrawPlan plan = bmp::PlanDrawing(image, image ? ImageBytes : 0);
    if (plan.drawable) {
        DrawImage(window, dc, image, plan, ps.rcPaint);
    } else {
        FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
    }
    if (plan.hasHeader) {
        const LONG rows = plan.height < 0 ? -static_cast<LONG>(plan.height) : plan.height;
        SetScrollRange(window, SB_VERT, 0, ScrollMaximum(rows, client.bottom), TRUE);
        SetScrollRange(window, SB_HORZ, 0, ScrollMaximum(plan.width, client.right), TRUE);
    }
    if (image != nullptr) {
        GlobalUnlock(ImageBuffer);
    }
    EndPaint(window, &ps);
}

// Thumb positions arrive as 16 bits; a bar whose range goes beyond that reports the full
// position through its tracking information instead.
static int ThumbPosition(HWND window, int bar, WPARAM wParam, int maximum) {
    if (maximum <= 0xFFFF) {
        return HIWORD(wParam);
    }
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(window, bar, &info);
    return info.nTrackPos;
}

static void OnScroll(HWND window, int bar, WPARAM wParam) {
    const int code = LOWORD(wParam);
    if (code == SB_ENDSCROLL) {
        return;
    }
    int minimum = 0, maximum = 0;
    GetScrollRange(window, bar, &minimum, &maximum);
    int position = GetScrollPos(window, bar);
    switch (code) {
    case SB_LINEUP:
        position = position - kLineStep < 0 ? 0 : position - kLineStep;
        break;
    case SB_LINEDOWN:
        position = position + kLineStep > maximum ? maximum : position + kLineStep;
        break;
    case SB_PAGEUP:
        position = position - kPageStep < 0 ? 0 : position - kPageStep;
        break;
    case SB_PAGEDOWN:
        position = position + kPageStep > maximum ? maximum : position + kPageStep;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        position = ThumbPosition(window, bar, wParam, maximum);
        break;
    case SB_TOP:
        position = 0;
        break;
    default: // SB_BOTTOM and any unknown code
        position = maximum;
        break;
    }
    SetScrollPos(window, bar, position, TRUE);
    RepaintWindow(window);
}

static void OnCommand(HWND window, int id) {
    switch (id) {
    case IDM_OPEN:
        OpenCommand(window);
        break;
    case IDM_SAVE:
        SaveCommand(window);
        break;
    case IDM_SAVEAS:
        SaveAsCommand(window);
        break;
    case IDM_CLOSE:
        CloseCommand(window);
        break;
    case IDM_RELOAD:
        ReloadCommand(window);
        break;
    case IDM_REDUCE_EXACT:
        ExactReductionCommand(window);
        break;
    case IDM_REDUCE_DIFFUSE:
        DiffusionCommand(window);
        break;
    case IDM_PALETTE:
        RunPaletteDialog(window);
        break;
    case IDM_OPTIONS:
        RunOptionsDialog(window);
        break;
    case IDM_ABOUT:
        Report(window, kAppTitle, MB_OK);
        break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        if (!ImageLoaded) {
            break;
        }
        OnPaint(window);
        return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id < IDM_OPEN || id > IDM_RELOAD) {
            break;
        }
        OnCommand(window, id);
        return 0;
    }
    case WM_HSCROLL:
        OnScroll(window, SB_HORZ, wParam);
        return 0;
    case WM_VSCROLL:
        OnScroll(window, SB_VERT, wParam);
        return 0;
    case WM_DROPFILES:
        DropCommand(window, reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
