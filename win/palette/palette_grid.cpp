#include "win/palette/palette_grid.h"

#include "win/app/owners.h"
#include "win/app/shell.h"
#include "win/palette/user_palette.h"

// There is at most one grid window at a time.
static bool GridShown;
static HGLOBAL GridTable;
static int MarkedEntry = -1; // the selected entry, framed; -1 for none

// Each swatch is 16 x 16 pixels with a one-pixel black line after it.
static constexpr int kPitch = 17;
static constexpr int kSwatch = 16;

static void MarkForPainting(HWND window, const RECT* rect) {
    RedrawWindow(window, rect, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

// The swatch of entry n with the grid lines around it.
static RECT CellAround(int n) {
    const int left = kPitch * (n % 16), top = kPitch * (n / 16);
    return {left - 1, top - 1, left + kSwatch + 1, top + kSwatch + 1};
}

// The selected swatch: the grid lines around it white, and a black line inside its edge, so
// that it stands out on any colour.
static void FrameMarkedEntry(HDC dc) {
    if (MarkedEntry < 0) {
        return;
    }
    RECT cell = CellAround(MarkedEntry);
    FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    InflateRect(&cell, -1, -1);
    FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

static void PaintGrid(HDC dc) {
    HGDIOBJ previous = SelectObject(dc, GetStockObject(BLACK_PEN));
    for (int k = 1; k <= 15; ++k) {
        MoveToEx(dc, 0, kPitch * k - 1, nullptr);
        LineTo(dc, 271, kPitch * k - 1);
    }
    for (int k = 1; k <= 15; ++k) {
        MoveToEx(dc, kPitch * k - 1, 0, nullptr);
        LineTo(dc, kPitch * k - 1, 271);
    }
    SelectObject(dc, previous);
    const LockedBlock<const BYTE> entries(GridTable);
    if (entries.get() == nullptr) {
        return;
    }
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            const BYTE* entry = entries.get() + 4 * (16 * r + c);
            const GdiObject<HBRUSH> brush(CreateSolidBrush(RGB(entry[2], entry[1], entry[0])));
            const RECT swatch = {kPitch * c, kPitch * r, kPitch * c + kSwatch,
                                 kPitch * r + kSwatch};
            FillRect(dc, &swatch, brush.get());
        }
    }
    FrameMarkedEntry(dc);
}

static void OnPaint(HWND window) {
    if (!HasAreaToPaint(window)) {
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (GridShown && SavedPalette != nullptr) {
        PaintGrid(dc);
    }
    EndPaint(window, &ps);
}

static void OnClick(HWND window, LPARAM lParam) {
    const unsigned x = LOWORD(lParam), y = HIWORD(lParam);
    const unsigned entry = x / kPitch + 16 * (y / kPitch);
    SendMessageA(GetParent(window), UM_SELECTENTRY, entry, 0);
}

// An entry number above 255 names no swatch: nothing to repaint.
static void OnCellChanged(HWND window, WPARAM entry) {
    if (entry > 255) {
        return;
    }
    const int n = static_cast<int>(entry);
    const RECT swatch = {kPitch * (n % 16), kPitch * (n / 16), kPitch * (n % 16) + kSwatch,
                         kPitch * (n / 16) + kSwatch};
    MarkForPainting(window, &swatch);
}

// The frame moves to entry n: the old cell and the new one are painted again.
static void OnMarkEntry(HWND window, WPARAM entry) {
    if (MarkedEntry >= 0) {
        const RECT old = CellAround(MarkedEntry);
        MarkForPainting(window, &old);
    }
    MarkedEntry = entry <= 255 ? static_cast<int>(entry) : -1;
    if (MarkedEntry >= 0) {
        const RECT cell = CellAround(MarkedEntry);
        MarkForPainting(window, &cell);
    }
}

static LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        GridShown = false;
        MarkedEntry = -1;
        break;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_LBUTTONDOWN:
        OnClick(window, lParam);
        return 0;
    case UM_SHOWPALETTE: {
        GridShown = true;
        RECT client;
        GetClientRect(window, &client);
        MarkForPainting(window, &client);
        GridTable = reinterpret_cast<HGLOBAL>(lParam);
        return 0;
    }
    case UM_CELLCHANGED:
        OnCellChanged(window, wParam);
        return 0;
    case UM_MARKENTRY:
        OnMarkEntry(window, wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK PaletteGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(window, LRESULT{0},
                        [&] { return HandleMessage(window, message, wParam, lParam); });
}
