#include "win/reduce/diffusion_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/palette/named_palettes.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/device_colours.h"
#include "core/quantize/error_diffusion.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/palette/palette_dialog.h"
#include "win/palette/user_palette.h"
#include "win/reduce/conversion_window.h"

LONG RunFixedCount;
std::vector<std::uint32_t> RunFromColours;
static quantize::Stages RunStages;
static quantize::Choices RunChoices;

// The run's copy of the user palette: the dialog may change SavedPalette while it runs.
static BYTE RunPalette[1024];

namespace {

// A message box owned by the conversion window, from the worker: the user-interface thread
// shows it, so that it stays in front of the main window with every other box. Blocks the
// worker until the box is closed.
int WorkerReport(HWND window, const char* text, UINT type) {
    return static_cast<int>(SendMessageA(window, UM_REPORT, type, reinterpret_cast<LPARAM>(text)));
}

// Presents the engine's reports: messages owned by the conversion window, progress by
// blocking sends to it. The display palette is left alone: the main window does not paint
// the image while the run lasts, and the next paint after it builds the palette afresh.
class WorkerReports : public quantize::DiffusionObserver {
  public:
    explicit WorkerReports(HWND window) : window_(window) {}

    void Opening(int fixed, int basic, int free) override {
        char text[160];
        std::snprintf(text, sizeof text, "%s%d\n%s%d\n%s%d", kFixedGroupText, fixed,
                      kBasicGroupText, basic, kFreeGroupText, free);
        if (!QuietRuns) {
            WorkerReport(window_, text, MB_ICONINFORMATION | MB_OK);
        }
    }
    void Phase(int phase) override { SendMessageA(window_, UM_PHASE, phase, 0); }
    // Every count the window would show is sent while there are few of them. A large image
    // has tens of thousands, and each blocking send and each new text of the edit control
    // costs the worker a wait for the user-interface thread; then the counts are sent at
    // most once a display frame, always with the first and the last of each phase, so the
    // texts shown are those of every position, in order, less the ones no eye could see.
    void Progress(std::int64_t done, std::int64_t total) override {
        const std::int64_t last = (total - 1) / 100 * 100;
        const DWORD now = GetTickCount();
        if (total > kAllCountsUpTo && done != 0 && done != last && now - lastSent_ < kFrameMs) {
            return;
        }
        lastSent_ = now;
        SendMessageA(window_, UM_PROGRESS, static_cast<WPARAM>(done), static_cast<LPARAM>(total));
    }
    void PaletteComplete() override {
        if (!QuietRuns) {
            WorkerReport(window_, kPaletteCompleteText, MB_OK);
        }
    }
    void Finished() override {}

  private:
    static constexpr std::int64_t kAllCountsUpTo = 20000; // 200 texts per phase
    static constexpr DWORD kFrameMs = 16;

    HWND window_;
    DWORD lastSent_ = 0;
};

// Converts the document and tells the user how it went, in boxes owned by `window`.
int ConvertDocument(HWND window) {
    WorkerReports reports(window);
    quantize::DiffusionInput input{static_cast<int>(RunFixedCount), RunPalette,
                                   quantize::kBasicPalette};
    input.stages = RunStages;
    input.choices = RunChoices;
    if (!RunFromColours.empty()) {
        input.fromColours = RunFromColours.data();
        input.fromCount = static_cast<int>(RunFromColours.size());
    }
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    const quantize::Result result =
        quantize::DiffuseImage(data, data ? ImageBytes : 0, DocumentResizer(), input, reports);
    GlobalUnlock(ImageBuffer);
    if (result.outcome == quantize::Outcome::Converted) {
        ImageBytes = static_cast<DWORD>(result.newSize);
        // A PNG of the result holds the colours asked for, entry 0 transparent for a key.
        Kind.paletteEntries = std::min(RunChoices.colours, 256);
        Kind.keyTransparent = RunChoices.key && RunFixedCount >= 1;
        Kind.unsaved = true;
        ShowTitle(GetParent(window));
        if (!QuietRuns) {
            WorkerReport(window, kFinishedText, MB_OK);
        }
    } else {
        WorkerReport(window, text::RefusalText(result.outcome), RefusalType(result.outcome));
    }
    return 0;
}

DWORD WINAPI DiffusionWorker(LPVOID parameter) {
    HWND window = static_cast<HWND>(parameter);
    try {
        ConvertDocument(window);
    } catch (...) {
        WorkerReport(window, CaughtFailureText(), MB_ICONWARNING);
    }
    HWND parent = GetParent(window);
    RECT client;
    GetClientRect(parent, &client);
    SendMessageA(window, WM_CLOSE, 0, 0);
    SetConversionInProgress(false);
    RedrawWindow(parent, &client, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
    return 0;
}

// The fixed colours of this run: FixedCount when the user wants them, else none.
LONG ChooseFixedCount(HWND mainWindow) {
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

// How the run would refuse the document for its layout; Converted when it would not.
quantize::Outcome LayoutRefusal(const quantize::Stages& stages) {
    const LockedBlock<const BYTE> document(ImageBuffer);
    if (document.get() == nullptr) {
        return quantize::Outcome::NoMemory;
    }
    return quantize::CheckDiffusionSource(document.get(), ImageBytes, stages);
}

// The list the chosen colours are taken from, as 高画質の設定 names it: a palette of the
// names users ask for (in any case), else a palette file. False, with the reason and the
// name told, when the file cannot be used.
bool TakeFromList(HWND mainWindow) {
    RunFromColours.clear();
    if (QualityFrom[0] == '\0') {
        return true;
    }
    std::string name = QualityFrom;
    for (char& c : name) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (palette::FindNamedPalette(name, RunFromColours)) {
        return true;
    }
    const PaletteRead read = ReadColourListFile(QualityFrom, RunFromColours);
    if (read == PaletteRead::Read) {
        return true;
    }
    const std::string text =
        std::string(kFromListText) + "\n" + PaletteReadText(read) + "\n" + QualityFrom;
    Report(mainWindow, text.c_str(), MB_ICONWARNING);
    return false;
}

// The user chose the fixed colours, and they stay as they are; one off the grid of the depth
// chosen is told once, and the run goes on.
void TellFixedOffGrid(HWND mainWindow) {
    const quantize::DeviceColours grid(RunChoices.depth, nullptr, 0);
    for (LONG i = 0; i < RunFixedCount && !grid.Every(); ++i) {
        const BYTE* entry = RunPalette + 4 * i; // blue, green, red
        if (!grid.Holds(std::uint32_t{entry[2]} << 16 | std::uint32_t{entry[1]} << 8 | entry[0])) {
            Report(mainWindow, kFixedOffGridText, MB_ICONWARNING);
            return;
        }
    }
}

} // namespace

void DiffusionCommand(HWND mainWindow, const quantize::Stages& stages) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    // An image the run would refuse is refused before anything is asked.
    const quantize::Outcome refusal = LayoutRefusal(stages);
    if (refusal != quantize::Outcome::Converted) {
        ReportRefusal(mainWindow, refusal);
        return;
    }
    const bool adaptive = stages.palette == quantize::PaletteMethod::Adaptive;
    RunFromColours.clear();
    if (adaptive && !TakeFromList(mainWindow)) {
        return;
    }
    RunStages = stages;
    RunChoices = adaptive ? QualityChoices() : quantize::Choices{};
    RunFixedCount = ChooseFixedCount(mainWindow);
    if (RunChoices.key && RunFixedCount < 1) {
        Report(mainWindow, kKeyNeedsFixedText, MB_ICONWARNING);
        return;
    }
    std::memset(RunPalette, 0, sizeof RunPalette);
    if (RunFixedCount > 0) {
        const LockedBlock<const BYTE> saved(SavedPalette);
        if (saved.get() != nullptr) {
            std::memcpy(RunPalette, saved.get(), sizeof RunPalette);
        }
    }
    TellFixedOffGrid(mainWindow);
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
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, DiffusionWorker, window, 0, &threadId);
    if (thread == nullptr) {
        SetConversionInProgress(false);
        DestroyWindow(window);
        Report(mainWindow, kCannotStartConversionText, MB_ICONWARNING);
        return;
    }
    CloseHandle(thread);
}
