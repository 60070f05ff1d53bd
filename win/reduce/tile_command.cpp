#include "win/reduce/tile_command.h"

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/text/texts.h"
#include "core/tiles/tiles.h"
#include "win/document/document.h"
#include "win/document/frames.h"
#include "win/reduce/conversion_run.h"

static tiles::TileInput RunTiles;

// Converts the document and tells the user how it went, in boxes owned by `window`.
static void ConvertDocument(HWND window) {
    WorkerReports reports(window);
    RunTiles.fixedCount = static_cast<int>(RunFixedCount);
    RunTiles.fixedTable = RunPalette;
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    const quantize::Result result =
        tiles::ConvertTiles(data, data ? ImageBytes : 0, DocumentResizer(), RunTiles, reports);
    GlobalUnlock(ImageBuffer);
    // Saved files hold the palettes one after another, entry 0 of each transparent for a key.
    FinishConversion(window, result, RunTiles.shape.palettes * RunTiles.shape.size,
                     RunTiles.choices.key && RunFixedCount >= 1, RunTiles.shape.size);
}

void TileCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    RunTiles = {};
    RunTiles.stages = QualityStages();
    // An image the run would refuse is refused before anything is asked.
    const quantize::Outcome refusal = LayoutRefusal(RunTiles.stages);
    if (refusal != quantize::Outcome::Converted) {
        ReportRefusal(mainWindow, refusal);
        return;
    }
    if (!MayTakeFrameShownOnly(mainWindow)) {
        return;
    }
    RunTiles.shape = TileShapeSetting();
    RunTiles.choices = QualityChoices();
    RunTiles.choices.depth = RunTiles.shape.depth;
    RunTiles.choices.colours = RunTiles.shape.palettes * RunTiles.shape.size;
    TakeFixedColours(mainWindow);
    const tiles::ShapeProblem problem =
        tiles::CheckShape(RunTiles.shape, static_cast<int>(RunFixedCount));
    if (problem != tiles::ShapeProblem::Fine) {
        Report(mainWindow, kShapeProblemTexts[static_cast<int>(problem)], MB_ICONWARNING);
        return;
    }
    if (RunTiles.choices.key && RunFixedCount < 1) {
        Report(mainWindow, kKeyNeedsFixedText, MB_ICONWARNING);
        return;
    }
    TellFixedOffGrid(mainWindow, RunTiles.shape.depth);
    StartConversion(mainWindow, ConvertDocument);
}
