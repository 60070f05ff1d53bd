#include "win/document/main_window.h"

#include <algorithm>
#include <climits>
#include <tuple>
#include <utility>
#include <vector>

#include "win/app/options_dialog.h"
#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/bmp/rle.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/document/clipboard.h"
#include "win/document/file_commands.h"
#include "win/document/frames.h"
#include "win/document/status_bar.h"
#include "win/document/transparency.h"
#include "win/document/view.h"
#include "win/palette/palette_dialog.h"
#include "win/reduce/diffusion_command.h"
#include "win/reduce/compact_command.h"
#include "win/reduce/exact_command.h"
#include "win/reduce/quality_dialog.h"
#include "win/reduce/tile_command.h"
#include "win/reduce/tile_dialog.h"
#include "win/res/resource.h"
#include "tw_version.h"

// `table`: the colour-table entries, blue, green, red, reserved.
static void BuildScreenPalette(ScreenPaletteState& screen, const BYTE* table, UINT entries) {
    std::vector<BYTE> record(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(record.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(entries);
    for (UINT i = 0; i < entries; ++i) {
        const BYTE* quad = table + 4 * i;
        palette->palPalEntry[i] = {quad[2], quad[1], quad[0], 0};
    }
    screen.object = CreatePalette(palette);
    screen.built = TRUE;
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

// An image's number of rows, whichever way they are stored.
static long long RowsOf(const bmp::DrawPlan& plan) {
    return plan.height < 0 ? -static_cast<long long>(plan.height) : plan.height;
}

// An image to paint: the document or its comparison copy, with what painting keeps of it.
struct Picture {
    const BYTE* bytes;
    DWORD size;
    ScreenPaletteState& palette;
    ScreenRowsState& rows;
    bool translucent; // an 8-bit image whose entries have alpha
};

// The pixels to hand to the drawing: the file's own rows, or its run-length data unpacked
// once per load. Null when they cannot be had.
static const BYTE* PixelsToDraw(const Picture& picture, const bmp::DrawPlan& plan) {
    if (!plan.runLength) {
        return picture.bytes + plan.pixelOffset;
    }
    if (!picture.rows.tried) {
        picture.rows.tried = true;
        bmp::UnpackRle(picture.bytes + plan.pixelOffset, picture.size - plan.pixelOffset,
                       plan.bitCount, plan.width, static_cast<std::int32_t>(RowsOf(plan)),
                       picture.rows.pixels);
    }
    return picture.rows.pixels.empty() ? nullptr : picture.rows.pixels.data();
}

// The most a plain header, its masks and a full colour table take.
constexpr std::uint64_t kMaxInfoLength = 40 + 12 + 256 * 4;

// The bitmap information describing only the rows present: a copy of the header and colour
// table with the height of the complete rows, so that stretching never reads past them.
static std::vector<BYTE> InfoOfPresentRows(const BYTE* info, std::size_t length,
                                           const bmp::DrawPlan& plan) {
    std::vector<BYTE> copy(info, info + length);
    const auto rows = static_cast<std::int32_t>(plan.scanLines);
    bmp::WriteU32(&copy[bmp::kBiHeight - bmp::kInfoHeader],
                  static_cast<std::uint32_t>(plan.height < 0 ? -rows : rows));
    bmp::WriteU32(&copy[bmp::kBiSizeImage - bmp::kInfoHeader], 0);
    return copy;
}

// Draws the rows present at the zoom: nearest pixels above 100 %, averaged below. `top` is the
// window row of the image's first row; returns the window rows drawn, [first, last).
static std::pair<int, int> StretchImage(HDC dc, int left, int top, const BYTE* pixels,
                                        const BYTE* info, std::size_t infoLength,
                                        const bmp::DrawPlan& plan) {
    const long long rows = RowsOf(plan);
    const long long missing = rows - plan.scanLines;
    // The rows present are the last ones stored: at the bottom of a bottom-up image.
    const long long first = top + (plan.height > 0 ? ZoomedOffset(missing) : 0);
    const long long last =
        plan.height > 0 ? top + ZoomedExtent(rows) : top + ZoomedOffset(plan.scanLines);
    if (last <= first) {
        return {top, top};
    }
    const std::vector<BYTE> present = InfoOfPresentRows(info, infoLength, plan);
    if (View.zoom < 100) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
    } else {
        SetStretchBltMode(dc, COLORONCOLOR);
    }
    StretchDIBits(dc, left, static_cast<int>(first), ZoomedExtent(plan.width),
                  static_cast<int>(last - first), 0, 0, plan.width,
                  static_cast<int>(plan.scanLines), pixels,
                  reinterpret_cast<const BITMAPINFO*>(present.data()), DIB_RGB_COLORS, SRCCOPY);
    return {static_cast<int>(first), static_cast<int>(last)};
}

// An image with transparency over the checkerboard, whole (such an image is never cut short),
// at the zoom; returns the window rows drawn, [first, last), or nothing drawn when it has no
// transparency.
static std::pair<int, int> BlendImage(HDC dc, int left, int top, const Picture& picture,
                                      const bmp::DrawPlan& plan) {
    if (!picture.rows.blendTried) {
        picture.rows.blendTried = true;
        TransparentPixelsOf(picture.bytes, picture.size, picture.translucent, picture.rows.blended);
    }
    const int rows = static_cast<int>(RowsOf(plan));
    const std::size_t pixels =
        static_cast<std::size_t>(plan.width) * static_cast<std::size_t>(rows);
    if (picture.rows.blended.size() != 4 * pixels) {
        return {top, top};
    }
    const RECT area = {left, top, left + ZoomedExtent(plan.width), top + ZoomedExtent(rows)};
    FillCheckerboard(dc, area, left, top);
    BlendOnto(dc, picture.rows.blended, plan.width, rows, area);
    return {area.top, area.bottom};
}

// Draws the image at the scroll positions and the zoom, and gives the rest of `update` the
// background. False, with nothing drawn, when the pixels cannot be had.
static bool DrawImage(HWND window, HDC dc, const Picture& picture, const bmp::DrawPlan& plan,
                      const RECT& update) {
    const BYTE* pixels = PixelsToDraw(picture, plan);
    if (pixels == nullptr) {
        return false;
    }
    const int left = -GetScrollPos(window, SB_HORZ);
    const int top = -GetScrollPos(window, SB_VERT);
    // A plain file's own header and colour table are the bitmap information; any other
    // header was rewritten as an equivalent plain one.
    const BYTE* info = plan.inPlace ? picture.bytes + bmp::kInfoHeader : plan.info.data();
    const std::size_t infoLength = plan.inPlace
                                       ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                             plan.pixelOffset - bmp::kInfoHeader, kMaxInfoLength))
                                       : plan.info.size();
    const BYTE* table =
        plan.inPlace ? picture.bytes + plan.tableOffset : plan.info.data() + plan.tableOffset;
    HPALETTE previous = nullptr;
    if (plan.colourCount != 0) {
        if (!picture.palette.built) {
            BuildScreenPalette(picture.palette, table, plan.colourCount);
        }
        previous = SelectPalette(dc, picture.palette.object, FALSE);
        RealizePalette(dc);
    }
    const int rows = static_cast<int>(RowsOf(plan));
    int drawnTop = top, drawnBottom = top;
    std::tie(drawnTop, drawnBottom) = BlendImage(dc, left, top, picture, plan);
    const bool blended = drawnBottom != drawnTop;
    if (!blended && View.zoom == 100) {
        SetDIBitsToDevice(dc, left, top, plan.width, rows, 0, 0, 0, plan.scanLines, pixels,
                          reinterpret_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS);
        // Rows missing from a short file are the last ones stored: at the top of a
        // bottom-up image, at the bottom of a top-down one.
        const int missing = rows - static_cast<int>(plan.scanLines);
        drawnTop = plan.height > 0 ? top + missing : top;
        drawnBottom = drawnTop + rows - missing;
    } else if (!blended) {
        std::tie(drawnTop, drawnBottom) =
            StretchImage(dc, left, top, pixels, info, infoLength, plan);
    }
    if (previous != nullptr) {
        SelectPalette(dc, previous, FALSE);
    }
    // The missing rows and the area beside and below the image get the window background,
    // so nothing stale stays visible.
    ExcludeClipRect(dc, left, drawnTop, left + ZoomedExtent(plan.width), drawnBottom);
    FillRect(dc, &update, GetSysColorBrush(COLOR_WINDOW));
    return true;
}

// A bar's range is the image's extent at the zoom and its page the client area's: the last
// position reachable is the extent beyond the client area, never below 0.
static void SetBarExtent(HWND window, int bar, int extent, LONG client) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    info.nMin = 0;
    info.nMax = extent > 0 ? extent - 1 : 0;
    info.nPage = client > 0 ? static_cast<UINT>(client) : 0;
    SetScrollInfo(window, bar, &info, TRUE);
}

// The last position a bar reaches: the end of its range less its page.
static int LastPosition(HWND window, int bar) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    GetScrollInfo(window, bar, &info);
    const long long last = static_cast<long long>(info.nMax) -
                           (info.nPage > 0 ? static_cast<long long>(info.nPage) - 1 : 0);
    return static_cast<int>(std::max<long long>(last, info.nMin));
}

// Each bar's range is the image's extent at the zoom; the platform keeps the position
// inside it.
static void SetScrollRanges(HWND window, const bmp::DrawPlan& plan, const RECT& client) {
    SetBarExtent(window, SB_VERT, ZoomedExtent(RowsOf(plan)), client.bottom);
    SetBarExtent(window, SB_HORZ, ZoomedExtent(plan.width), client.right);
}

// The document's drawing plan, for the ranges and the fitting zoom.
static bmp::DrawPlan DocumentPlan() {
    const LockedBlock<const BYTE> document(ImageBuffer);
    return bmp::PlanDrawing(document.get(), document.get() ? ImageBytes : 0);
}

// With the zoom following the window, a new size or a new image gives a new zoom.
static void FitZoomToClient(HWND window, const bmp::DrawPlan& plan) {
    if (!View.fitToWindow || !plan.hasHeader) {
        return;
    }
    RECT client;
    ViewArea(window, client);
    View.zoom = FittingZoom(plan.width, RowsOf(plan), client.right, client.bottom);
}

// While error diffusion runs, the worker rewrites and moves the block: the window shows
// only its background then, and touches neither the block nor the display palette. While
// Space is held, the comparison copy is shown in the document's place.
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
    ViewArea(window, client);
    const bool comparing = View.comparing && ComparisonImage != nullptr;
    const LockedBlock<const BYTE> document(comparing ? ComparisonImage : ImageBuffer);
    const Picture picture =
        comparing
            ? Picture{document.get(), ComparisonBytes, ComparisonPalette, ComparisonRows, false}
            : Picture{document.get(), ImageBytes, ScreenPalette, ScreenRows, Kind.translucent};
    const bmp::DrawPlan plan = bmp::PlanDrawing(picture.bytes, picture.bytes ? picture.size : 0);
    if (!comparing) {
        FitZoomToClient(window, plan);
    }
    bool drawn = false;
    try {
        drawn = plan.drawable && DrawImage(window, paint.dc, picture, plan, paint.ps.rcPaint);
    } catch (...) {
        // Nothing stale stays visible; the window procedure tells the user what failed.
        FillRect(paint.dc, &paint.ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
        throw;
    }
    if (!drawn) {
        FillRect(paint.dc, &paint.ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
    }
    if (plan.hasHeader && !comparing) {
        SetScrollRanges(window, plan, client);
    }
    if (!comparing) {
        UpdateStatusBar(picture.bytes, picture.size, plan);
    }
}

// A new size changes the ranges: the positions are brought into them before anything is
// drawn, and the whole window is drawn again at them, so that no part shows the image at the
// old offset.
static void OnSize(HWND window) {
    if (!HasDocument() || ConversionInProgress()) {
        return;
    }
    const bmp::DrawPlan plan = DocumentPlan();
    if (plan.hasHeader) {
        FitZoomToClient(window, plan);
        RECT client;
        ViewArea(window, client);
        SetScrollRanges(window, plan, client);
        RepaintWindow(window);
    }
}

// The zoom each item of the 表示 menu sets.
struct ZoomItem {
    int id, zoom;
};
constexpr ZoomItem kZoomItems[] = {
    {IDM_ZOOM_100, 100}, {IDM_ZOOM_200, 200}, {IDM_ZOOM_400, 400}, {IDM_ZOOM_50, 50}};

// Marks the menu's zoom item in force: ウィンドウに合わせる, or the step of the zoom.
static void CheckZoomItem(HWND window) {
    int item = View.fitToWindow ? IDM_ZOOM_FIT : 0;
    for (const ZoomItem& zoom : kZoomItems) {
        item = !View.fitToWindow && zoom.zoom == View.zoom ? zoom.id : item;
    }
    HMENU menu = GetMenu(window);
    for (int id = IDM_ZOOM_100; id <= IDM_ZOOM_FIT; ++id) {
        CheckMenuItem(menu, id, MF_BYCOMMAND | (id == item ? MF_CHECKED : MF_UNCHECKED));
    }
}

// Sets the zoom (or the zoom that fits the window) keeping the image point at the centre of
// the client area where it was.
static void SetZoom(HWND window, int zoom, bool fit) {
    const int before = View.zoom;
    View.fitToWindow = fit;
    View.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    CheckZoomItem(window);
    if (!HasDocument() || ConversionInProgress()) {
        return;
    }
    const bmp::DrawPlan plan = DocumentPlan();
    if (!plan.hasHeader) {
        return;
    }
    FitZoomToClient(window, plan);
    RECT client;
    ViewArea(window, client);
    const long long centreX = GetScrollPos(window, SB_HORZ) + client.right / 2;
    const long long centreY = GetScrollPos(window, SB_VERT) + client.bottom / 2;
    SetScrollRanges(window, plan, client);
    const auto moved = [&](long long centre, LONG extent) {
        const long long position = centre * View.zoom / before - extent / 2;
        return static_cast<int>(std::clamp<long long>(position, 0, INT_MAX));
    };
    SetScrollPos(window, SB_HORZ, moved(centreX, client.right), TRUE);
    SetScrollPos(window, SB_VERT, moved(centreY, client.bottom), TRUE);
    RepaintWindow(window);
}

// Space held shows the image as it was last opened or saved; without a copy of it (memory
// could not hold one) the key says so, once for each document.
static void StartComparing(HWND window) {
    if (!HasDocument() || View.comparing) {
        return;
    }
    if (ComparisonImage == nullptr) {
        if (!View.toldNoCopy) {
            View.toldNoCopy = true;
            Report(window, kNoComparisonText, MB_ICONINFORMATION);
        }
        return;
    }
    View.comparing = true;
    RepaintWindow(window);
}

static void StopComparing(HWND window) {
    if (View.comparing) {
        View.comparing = false;
        RepaintWindow(window);
    }
}

// Thumb positions arrive as 16 bits; a bar whose range goes beyond that reports the full
// position through its tracking information instead.
static int ThumbPosition(HWND window, int bar, WPARAM wParam) {
    int minimum = 0, maximum = 0;
    GetScrollRange(window, bar, &minimum, &maximum);
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
    const int maximum = LastPosition(window, bar);
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
        position = ThumbPosition(window, bar, wParam);
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
    const long long position = static_cast<long long>(GetScrollPos(window, bar)) + pixels;
    SetScrollPos(window, bar,
                 static_cast<int>(std::clamp<long long>(position, 0, LastPosition(window, bar))),
                 TRUE);
    RepaintWindow(window);
}

// The wheel turns by `delta` (WHEEL_DELTA a notch): the system's lines a notch, or a page.
static void OnWheel(HWND window, int bar, int delta) {
    UINT lines = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    RECT client;
    ViewArea(window, client);
    const long long page = bar == SB_VERT ? client.bottom : client.right;
    const long long notch =
        lines == WHEEL_PAGESCROLL ? page : static_cast<long long>(lines) * kWheelLine;
    ScrollBy(window, bar, static_cast<int>(-delta * notch / WHEEL_DELTA));
}

// Arrows move a line, PageUp and PageDown a client height (in an animation, to the frame
// before and after), Home and End (with Ctrl too) to the top and the bottom. Other keys are
// left to the default handling.
static bool OnKey(HWND window, WPARAM key) {
    RECT client;
    ViewArea(window, client);
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
        if (!StepFrame(window, -1)) {
            ScrollBy(window, SB_VERT, -client.bottom);
        }
        return true;
    case VK_NEXT:
        if (!StepFrame(window, 1)) {
            ScrollBy(window, SB_VERT, client.bottom);
        }
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
    case IDM_COMPACT:
        CompactCommand(window);
        break;
    case IDM_REDUCE_DIFFUSE_HQ:
        DiffusionCommand(window, QualityStages());
        break;
    case IDM_REDUCE_TILES:
        TileCommand(window);
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
    case IDM_TILES:
        RunTileDialog(window);
        break;
    case IDM_ZOOM_100:
    case IDM_ZOOM_200:
    case IDM_ZOOM_400:
    case IDM_ZOOM_50:
        SetZoom(window, kZoomItems[id - IDM_ZOOM_100].zoom, false);
        break;
    case IDM_ZOOM_FIT:
        SetZoom(window, View.zoom, true);
        break;
    case IDM_ZOOM_IN:
        SetZoom(window, NextZoomStep(View.zoom, 1), false);
        break;
    case IDM_ZOOM_OUT:
        SetZoom(window, NextZoomStep(View.zoom, -1), false);
        break;
    case IDM_COPY:
        CopyCommand(window);
        break;
    case IDM_PASTE:
        PasteCommand(window);
        break;
    case IDM_STATUSBAR:
        ShowStatusBar(window, StatusBarShown == 0);
        OnSize(window);
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
        if (!MayLeaveDocument(window)) {
            return 0;
        }
        break;
    case WM_CREATE:
        CreateStatusBar(window);
        ShowStatusBar(window, StatusBarShown != 0);
        return 0;
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
        if ((id < IDM_OPEN || id > IDM_TILES) && id != IDM_COMPACT && id != IDM_STATUSBAR) {
            break;
        }
        OnCommand(window, id);
        return 0;
    }
    case WM_SIZE:
        PlaceStatusBar();
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
        // With Ctrl the wheel zooms, with Shift it scrolls sideways.
        if (GET_KEYSTATE_WPARAM(wParam) & MK_CONTROL) {
            SetZoom(window, NextZoomStep(View.zoom, GET_WHEEL_DELTA_WPARAM(wParam)), false);
            return 0;
        }
        OnWheel(window, (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) ? SB_HORZ : SB_VERT,
                GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_MOUSEHWHEEL:
        OnWheel(window, SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            StartComparing(window);
            return 0;
        }
        if (OnKey(window, wParam)) {
            return 0;
        }
        break;
    case WM_CHAR:
        // [ and ] step through an animation's frames, whatever key types them.
        if ((wParam == '[' || wParam == ']') && StepFrame(window, wParam == '[' ? -1 : 1)) {
            return 0;
        }
        break;
    case WM_KEYUP:
        if (wParam == VK_SPACE) {
            StopComparing(window);
            return 0;
        }
        break;
    case WM_KILLFOCUS:
        StopComparing(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(window, LRESULT{0},
                        [&] { return HandleMessage(window, message, wParam, lParam); });
}
