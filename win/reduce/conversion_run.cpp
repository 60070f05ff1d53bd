#include "win/reduce/conversion_run.h"

#include <cstdio>
#include <cstring>

#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/quantize/device_colours.h"
#include "core/quantize/error_diffusion.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/palette/palette_dialog.h"
#include "win/palette/user_palette.h"
#include "win/reduce/conversion_window.h"

LONG RunFixedCount;
BYTE RunPalette[1024];

int WorkerReport(HWND window, const char* text, UINT type) {
    return static_cast<int>(SendMessageA(window, UM_REPORT, type, reinterpret_cast<LPARAM>(text)));
}

void WorkerReports::Opening(int fixed, int basic, int free) {
    char text[160];
    std::snprintf(text, sizeof text, "%s%d\n%s%d\n%s%d", kFixedGroupText, fixed, kBasicGroupText,
                  basic, kFreeGroupText, free);
    if (!QuietRuns) {
        WorkerReport(window_, text, MB_ICONINFORMATION | MB_OK);
    }
}

// The display palette is left alone: the main window does not paint the image while the run
// lasts, and the next paint after it builds the palette afresh.
void WorkerReports::Phase(int phase) {
    SendMessageA(window_, UM_PHASE, phase, 0);
}

// Every count the window would show is sent while there are few of them. A large image has
// tens of thousands, and each blocking send and each new text of the edit control costs the
// worker a wait for the user-interface thread; then the counts are sent at most once a
// display frame, always with the first and the last of each phase, so the texts shown are
// those of every position, in order, less the ones no eye could see.
void WorkerReports::Progress(std::int64_t done, std::int64_t total) {
    const std::int64_t last = (total - 1) / 100 * 100;
    const DWORD now = GetTickCount();
    if (total > kAllCountsUpTo && done != 0 && done != last && now - lastSent_ < kFrameMs) {
        return;
    }
    lastSent_ = now;
    SendMessageA(window_, UM_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
}

void WorkerReports::PaletteComplete() {
    if (!QuietRuns) {
        WorkerReport(window_, kPaletteCompleteText, MB_OK);
    }
}

quantize::Outcome LayoutRefusal(const quantize::Stages& stages) {
    const LockedBlock<const BYTE> document(ImageBuffer);
    if (document.get() == nullptr) {
        return quantize::Outcome::NoMemory;
    }
    return quantize::CheckDiffusionSource(document.get(), ImageBytes, stages);
}

// The fixed colours of this run: FixedCount when the user wants them, else none.
static LONG ChooseFixedCount(HWND mainWindow) {
    if (Report(mainWindow, kUseFixedPaletteText, MB_ICONQUESTION | MB_YESNO) != IDYES) {
        return 0;
    }
    if (SavedPalette == nullptr) {
        RunPaletteDialog(mainWindow);
    }
    if (SavedPalette == nullptr) {
        return 0; // no table could be made
    }
    return FixedCount < 0 ? 0 : (FixedCount > 256 ? 256 : FixedCount);
}

void TakeFixedColours(HWND mainWindow) {
    RunFixedCount = ChooseFixedCount(mainWindow);
    std::memset(RunPalette, 0, sizeof RunPalette);
    if (RunFixedCount > 0) {
        const LockedBlock<const BYTE> saved(SavedPalette);
        if (saved.get() != nullptr) {
            std::memcpy(RunPalette, saved.get(), sizeof RunPalette);
        }
    }
}

void TellFixedOffGrid(HWND mainWindow, const std::array<int, 3>& depth) {
    const quantize::DeviceColours grid(depth, nullptr, 0);
    for (LONG i = 0; i < RunFixedCount && !grid.Every(); ++i) {
        const BYTE* entry = RunPalette + 4 * i; // blue, green, red
        if (!grid.Holds(std::uint32_t{entry[2]} << 16 | std::uint32_t{entry[1]} << 8 | entry[0])) {
            Report(mainWindow, kFixedOffGridText, MB_ICONWARNING);
            return;
        }
    }
}

void FinishConversion(HWND window, const quantize::Result& result, int entries, bool key,
                      int keyStep) {
    if (result.outcome != quantize::Outcome::Converted) {
        WorkerReport(window, text::RefusalText(result.outcome), RefusalType(result.outcome));
        return;
    }
    ImageBytes = static_cast<DWORD>(result.newSize);
    Kind.paletteEntries = entries;
    Kind.keyTransparent = key;
    Kind.keyStep = keyStep;
    Kind.translucent = false;
    Kind.unsaved = true;
    ShowTitle(GetParent(window));
    if (!QuietRuns) {
        WorkerReport(window, kFinishedText, MB_OK);
    }
}

namespace {

struct RunStart {
    HWND window;
    void (*convert)(HWND window);
};
RunStart Started;

DWORD WINAPI ConversionWorker(LPVOID) {
    const RunStart run = Started;
    try {
        run.convert(run.window);
    } catch (...) {
        WorkerReport(run.window, CaughtFailureText(), MB_ICONWARNING);
    }
    HWND parent = GetParent(run.window);
    RECT client;
    GetClientRect(parent, &client);
    SendMessageA(run.window, WM_CLOSE, 0, 0);
    SetConversionInProgress(false);
    RedrawWindow(parent, &client, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
    return 0;
}

} // namespace

void StartConversion(HWND mainWindow, void (*convert)(HWND window)) {
    HWND window = CreateWindowExA(WS_EX_ACCEPTFILES, kConversionWindowClass, kAppTitle,
                                  WS_CHILD | WS_BORDER, CW_USEDEFAULT, CW_USEDEFAULT, 200, 200,
                                  mainWindow, nullptr, AppInstance, nullptr);
    if (window == nullptr) {
        Report(mainWindow, kCannotStartConversionText, MB_ICONWARNING);
        return;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    // The run rewrites the image: what painting kept of it is of no more use.
    InvalidateScreenCache();
    LeaveRoomToConvert();
    SetConversionInProgress(true);
    Started = {window, convert}; // one run at a time: the next starts after this one ends
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, ConversionWorker, nullptr, 0, &threadId);
    if (thread == nullptr) {
        SetConversionInProgress(false);
        DestroyWindow(window);
        Report(mainWindow, kCannotStartConversionText, MB_ICONWARNING);
        return;
    }
    CloseHandle(thread);
}
