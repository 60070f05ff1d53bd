#include "win/document/main_window.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "win/app/options_dialog.h"
#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/bmp/rle.h"
#include "win/document/document.h"
#include "win/document/file_commands.h"
#include "win/palette/palette_dialog.h"
#include "win/reduce/diffusion_command.h"
#include "win/reduce/exact_command.h"
#include "win/reduce/quality_dialog.h"
#include "win/res/resource.h"
#include "tw_version.h"

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

// BeginPaint and EndPaint as a pair, also when drawing stops part-way.
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window), dc(BeginPaint(window, &ps)) {}
    ~PaintScope() { EndPaint(window_, &ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

  private:
    HWND window_;

  public:
    PAINTSTRUCT ps;
    HDC dc;
};

// The pixels to hand to the drawing: the file's own rows, or its run-length data unpacked
// once per load. Null when they cannot be had.
static const BYTE* PixelsToDraw(const BYTE* image, const bmp::DrawPlan& plan) {
    if (!plan.runLength) {
        return image + plan.pixelOffset;
    }
    if (!ScreenRows.tried) {
        ScreenRows.tried = true;
        const int rows = plan.height < 0 ? -plan.height : plan.height;
        bmp::UnpackRle(image + plan.pixelOffset, ImageBytes - plan.pixelOffset, plan.bitCount,
                       plan.width, rows, ScreenRows.pixels);
    }
    return ScreenRows.pixels.empty() ? nullptr : ScreenRows.pixels.data();
}

// Draws the image at the scroll positions and gives the rest of `update` the background.
// False, with nothing drawn, when the pixels cannot be had.
static bool DrawImage(HWND window, HDC dc, const BYTE* image, const bmp::DrawPlan& plan,
                      const RECT& update) {
    const BYTE* pixels = PixelsToDraw(image, plan);
    if (pixels == nullptr) {
        return false;
    }
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
    return true;
}

// Each bar's range is the image's extent beyond the client area; the platform keeps the
// position inside it.
static void SetScrollRanges(HWND window, const bmp::DrawPlan& plan, const RECT& client) {
    const LONG rows = plan.height < 0 ? -static_cast<LONG>(plan.height) : plan.height;
    SetScrollRange(window, SB_VERT, 0, ScrollMaximum(rows, client.bottom), TRUE);
    SetScrollRange(window, SB_HORZ, 0, ScrollMaximum(plan.width, client.right), TRUE);
}

// While error diffusion runs, the worker rewrites and moves the block: the window shows
// only its background then, and touches neither the block nor the display palette.
static void OnPaint(HWND window) {
    if (!HasAreaToPaint(window)) {
        return;
    }
    PaintScope paint(window);
    if (ConversionInProgress()) {
        FillRect(paint.dc, &paint.ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
        return;
    }
    RECT client;
    GetClientRect(window, &client);
    const LockedBlock<const BYTE> document(ImageBuffer);
    const bmp::DrawPlan plan = bmp::PlanDrawing(document.get(), document.get() ? ImageBytes : 0);
    bool drawn = false;
    try {
        drawn =
            plan.drawable && DrawImage(window, paint.dc, document.get(), plan, paint.ps.rcPaint);
    } catch (...) {
        // Nothing stale stays visible; the window procedure tells the user what failed.
        FillRect(paint.dc, &paint.ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
        throw;
    }
    if (!drawn) {
        FillRect(paint.dc, &paint.ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
    }
    if (plan.hasHeader) {
        SetScrollRanges(window, plan, client);
    }
}

// A new size changes the ranges: the positions are brought into them before anything is
// drawn, and the whole window is drawn again at them, so that no part shows the image at the
// old offset.
static void OnSize(HWND window) {
    if (!HasDocument() || ConversionInProgress()) {
        return;
    }
    RECT client;
    GetClientRect(window, &client);
    const LockedBlock<const BYTE> document(ImageBuffer);
    const bmp::DrawPlan plan = bmp::PlanDrawing(document.get(), document.get() ? ImageBytes : 0);
    if (plan.hasHeader) {
        SetScrollRanges(window, plan, client);
        RepaintWindow(window);
    }
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

// Moves a bar by `pixels` as its arrows would, kept within its range.
static void ScrollBy(HWND window, int bar, int pixels) {
    int minimum = 0, maximum = 0;
    GetScrollRange(window, bar, &minimum, &maximum);
    const long long position = static_cast<long long>(GetScrollPos(window, bar)) + pixels;
    SetScrollPos(window, bar, static_cast<int>(std::clamp<long long>(position, 0, maximum)), TRUE);
    RepaintWindow(window);
}

// The wheel turns by `delta` (WHEEL_DELTA a notch): the system's lines a notch, or a page.
static void OnWheel(HWND window, int bar, int delta) {
    UINT lines = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    RECT client;
    GetClientRect(window, &client);
    const long long page = bar == SB_VERT ? client.bottom : client.right;
    const long long notch =
        lines == WHEEL_PAGESCROLL ? page : static_cast<long long>(lines) * kWheelLine;
    ScrollBy(window, bar, static_cast<int>(-delta * notch / WHEEL_DELTA));
}

// Arrows move a line, PageUp and PageDown a client height, Home and End (with Ctrl too) to
// the top and the bottom. Other keys are left to the default handling.
static bool OnKey(HWND window, WPARAM key) {
    RECT client;
    GetClientRect(window, &client);
    switch (key) {
    case VK_UP:
        ScrollBy(window, SB_VERT, -kWheelLine);
        return true;
    case VK_DOWN:
        ScrollBy(window, SB_VERT, kWheelLine);
        return true;
    case VK_LEFT:
        ScrollBy(window, SB_HORZ, -kWheelLine);
        return true;
    case VK_RIGHT:
        ScrollBy(window, SB_HORZ, kWheelLine);
        return true;
    case VK_PRIOR:
        ScrollBy(window, SB_VERT, -client.bottom);
        return true;
    case VK_NEXT:
        ScrollBy(window, SB_VERT, client.bottom);
        return true;
    case VK_HOME:
        ScrollBy(window, SB_VERT, INT_MIN / 2);
        return true;
    case VK_END:
        ScrollBy(window, SB_VERT, INT_MAX / 2);
        return true;
    }
    return false;
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
        DiffusionCommand(window, quantize::kBasicDiffusion);
        break;
    case IDM_REDUCE_DIFFUSE_HQ:
        DiffusionCommand(window, QualityStages());
        break;
    case IDM_PALETTE:
        RunPaletteDialog(window);
        break;
    case IDM_OPTIONS:
        RunOptionsDialog(window);
        break;
    case IDM_QUALITY:
        RunQualityDialog(window);
        break;
    case IDM_ABOUT:
        Report(window, "Tintwright " TW_VERSION_TEXT, MB_OK); // the title and the version
        break;
    }
}

static LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // Esc, 閉じる, Alt+F4 and the caption button all come here.
        if (!MayDiscardConversion(window)) {
            return 0;
        }
        break;
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
        if (id < IDM_OPEN || id > IDM_QUALITY) {
            break;
        }
        OnCommand(window, id);
        return 0;
    }
    case WM_SIZE:
        OnSize(window);
        return 0;
    case WM_HSCROLL:
        OnScroll(window, SB_HORZ, wParam);
        return 0;
    case WM_VSCROLL:
        OnScroll(window, SB_VERT, wParam);
        return 0;
    case WM_DROPFILES:
        DropCommand(window, reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        // With Shift the wheel scrolls sideways.
        OnWheel(window, (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) ? SB_HORZ : SB_VERT,
                GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_MOUSEHWHEEL:
        OnWheel(window, SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_KEYDOWN:
        if (OnKey(window, wParam)) {
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(window, LRESULT{0},
                        [&] { return HandleMessage(window, message, wParam, lParam); });
}
