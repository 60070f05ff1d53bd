#include "win/document/status_bar.h"

#include <commctrl.h>

#include <cstdio>
#include <new>

#include "core/image/colour_count.h"
#include "core/text/texts.h"
#include "win/app/settings.h"
#include "win/document/document.h"
#include "win/document/view.h"
#include "win/res/resource.h"

static HWND Bar;
// The distinct colours of the document, or -1 when they cannot be counted, and the document
// change they were counted at (none yet: one before the first).
static long long Colours = -1;
static unsigned CountedAt = DocumentChanges - 1;

void CreateStatusBar(HWND mainWindow) {
    Bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | (StatusBarShown ? WS_VISIBLE : 0), 0,
                          0, 0, 0, mainWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    const int edges[4] = {140, 220, 320, -1};
    SendMessageA(Bar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
    PlaceStatusBar(); // its height from the start
}

void PlaceStatusBar() {
    if (Bar != nullptr) {
        SendMessageA(Bar, WM_SIZE, 0, 0);
    }
}

void ShowStatusBar(HWND mainWindow, bool shown) {
    StatusBarShown = shown ? 1 : 0;
    CheckMenuItem(GetMenu(mainWindow), IDM_STATUSBAR,
                  MF_BYCOMMAND | (shown ? MF_CHECKED : MF_UNCHECKED));
    if (Bar != nullptr) {
        ShowWindow(Bar, shown ? SW_SHOW : SW_HIDE);
        PlaceStatusBar();
    }
}

void ViewArea(HWND mainWindow, RECT& area) {
    GetClientRect(mainWindow, &area);
    RECT bar;
    // Shown, whether or not the main window is yet; a bar of a window since destroyed is none.
    if (Bar != nullptr && GetParent(Bar) == mainWindow &&
        (GetWindowLongA(Bar, GWL_STYLE) & WS_VISIBLE) != 0 && GetWindowRect(Bar, &bar)) {
        area.bottom -= bar.bottom - bar.top;
        area.bottom = area.bottom < 0 ? 0 : area.bottom;
    }
}

static void SetPart(int part, const char* text) {
    SendMessageA(Bar, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
}

void UpdateStatusBar(const BYTE* image, DWORD bytes, const bmp::DrawPlan& plan) {
    if (Bar == nullptr) {
        return;
    }
    if (!plan.hasHeader) {
        for (int part = 0; part < 4; ++part) {
            SetPart(part, "");
        }
        return;
    }
    if (CountedAt != DocumentChanges && image != nullptr) {
        try {
            Colours = image::DistinctColours(image, bytes);
        } catch (const std::bad_alloc&) {
            Colours = -1; // the count is left out; the image is still shown
        }
        CountedAt = DocumentChanges;
    }
    char text[64];
    std::snprintf(
        text, sizeof text, "%ld x %ld", static_cast<long>(plan.width),
        static_cast<long>(plan.height < 0 ? -static_cast<long long>(plan.height) : plan.height));
    SetPart(0, text);
    std::snprintf(text, sizeof text, "%d %s", plan.bitCount, kStatusBitsText);
    SetPart(1, text);
    if (Colours >= 0) {
        std::snprintf(text, sizeof text, "%lld %s", Colours, kStatusColoursText);
    } else {
        text[0] = '\0';
    }
    SetPart(2, text);
    std::snprintf(text, sizeof text, "%d%%", View.zoom);
    SetPart(3, text);
}

HWND StatusBarWindow() {
    return Bar;
}
