#include "win/reduce/conversion_window.h"

#include <cstdio>

#include "win/app/shell.h"
#include "core/text/texts.h"

HWND ProgressEdit;
static LONG ProgressPhase;
static LONG ProgressDone;
static LONG ProgressTotal;
static char ProgressText[128];

static LRESULT OnCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    ProgressEdit = CreateWindowExA(0, "EDIT", kAppTitle, WS_CHILD | ES_MULTILINE, 10, 10, 150, 60,
                                   window, nullptr, AppInstance, nullptr);
    ShowWindow(ProgressEdit, SW_SHOW);
    UpdateWindow(ProgressEdit);
    const LRESULT result = DefWindowProcA(window, WM_CREATE, wParam, lParam);
    ProgressPhase = 0;
    return result;
}

// The label of the current phase, then "done / total"; only every hundredth count is shown,
// but for the frames of an animation.
static void OnProgress(WPARAM done, LPARAM total) {
    ProgressDone = static_cast<LONG>(done);
    ProgressTotal = static_cast<LONG>(total);
    const char* label =
        ProgressPhase >= 0 && ProgressPhase <= kFramePhase ? kPhaseLabels[ProgressPhase] : "";
    std::snprintf(ProgressText, sizeof ProgressText, "%s\n\r", label);
    if (ProgressDone % 100 != 0 && ProgressPhase != kFramePhase) {
        return;
    }
    std::snprintf(ProgressText, sizeof ProgressText, "%s\n\r%ld / %ld", label,
                  static_cast<long>(ProgressDone), static_cast<long>(ProgressTotal));
    SendMessageA(ProgressEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ProgressText));
}

static LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, wParam, lParam);
    case UM_PHASE:
        ProgressPhase = static_cast<LONG>(wParam);
        return 0;
    case UM_PROGRESS:
        OnProgress(wParam, lParam);
        return 0;
    case UM_REPORT:
        return Report(window, reinterpret_cast<const char*>(lParam), static_cast<UINT>(wParam));
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ConversionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(window, LRESULT{0},
                        [&] { return HandleMessage(window, message, wParam, lParam); });
}
