#include "win/reduce/diffusion_command.h"

#include <algorithm>
#include <string>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/palette/named_palettes.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/palette/user_palette.h"
#include "win/reduce/conversion_run.h"

std::vector<std::uint32_t> RunFromColours;
static quantize::Stages RunStages;
static quantize::Choices RunChoices;

namespace {

// Converts the document and tells the user how it went, in boxes owned by `window`.
void ConvertDocument(HWND window) {
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
    // A PNG of the result holds the colours asked for, entry 0 transparent for a key.
    FinishConversion(window, result, std::min(RunChoices.colours, 256),
                     RunChoices.key && RunFixedCount >= 1);
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
    TakeFixedColours(mainWindow);
    if (RunChoices.key && RunFixedCount < 1) {
        Report(mainWindow, kKeyNeedsFixedText, MB_ICONWARNING);
        return;
    }
    TellFixedOffGrid(mainWindow, RunChoices.depth);
    StartConversion(mainWindow, ConvertDocument);
}
