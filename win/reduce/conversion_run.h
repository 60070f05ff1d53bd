// What every conversion from the 変換 menu shares: the fixed colours asked for, the layout
// check, the conversion window with its worker thread, and the worker's reports.
#pragma once

#include <windows.h>

#include "core/quantize/observer.h"
#include "core/quantize/outcome.h"
#include "core/quantize/stages.h"

#include <array>
#include <cstdint>

extern LONG RunFixedCount; // fixed colours of the current run
// The run's copy of the user palette (blue, green, red, reserved per entry): the palette
// dialog may change SavedPalette while it runs.
extern BYTE RunPalette[1024];

// A message box owned by the conversion window, from the worker: the user-interface thread
// shows it, so that it stays in front of the main window with every other box. Blocks the
// worker until the box is closed.
int WorkerReport(HWND window, const char* text, UINT type);

// Presents the engine's reports: messages owned by the conversion window, progress by
// blocking sends to it.
class WorkerReports : public quantize::DiffusionObserver {
  public:
    explicit WorkerReports(HWND window) : window_(window) {}

    void Opening(int fixed, int basic, int free) override;
    void Phase(int phase) override;
    void Progress(std::int64_t done, std::int64_t total) override;
    void PaletteComplete() override;
    void Finished() override {}

  private:
    static constexpr std::int64_t kAllCountsUpTo = 20000; // 200 texts per phase
    static constexpr DWORD kFrameMs = 16;

    HWND window_;
    DWORD lastSent_ = 0;
};

// How a run of `stages` would refuse the document for its layout; Converted when it would not.
quantize::Outcome LayoutRefusal(const quantize::Stages& stages);

// Asks whether the fixed colours are wanted (opening the palette dialog the first time they
// are), sets RunFixedCount and copies them into RunPalette (zeros beyond).
void TakeFixedColours(HWND mainWindow);

// The user chose the fixed colours, and they stay as they are; one off the grid of `depth`
// (bits of red, green, blue) is told once, and the run goes on.
void TellFixedOffGrid(HWND mainWindow, const std::array<int, 3>& depth);

// The end of a run, on the worker: a converted document takes its new size and the colours
// its saved files hold (entry 0 transparent for `key`, and with `keyStep` every keyStep-th
// entry: a tile image's palettes) and is told finished; a refusal is told.
void FinishConversion(HWND window, const quantize::Result& result, int entries, bool key,
                      int keyStep = 0);

// Creates the conversion window and runs `convert` on a worker thread, which closes the window
// and repaints the image at its end; told when the run cannot start.
void StartConversion(HWND mainWindow, void (*convert)(HWND window));
