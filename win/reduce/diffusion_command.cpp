#include "win/reduce/diffusion_command.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "win/app/owners.h"
#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/palette/named_palettes.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/frames.h"
#include "core/quantize/kernels.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/document/frames.h"
#include "win/palette/user_palette.h"
#include "win/reduce/conversion_run.h"
#include "win/reduce/conversion_window.h"

std::vector<std::uint32_t> RunFromColours;
static quantize::Stages RunStages;
static quantize::Choices RunChoices;
static quantize::AlphaInput RunAlpha;

namespace {

// The run's input: the fixed colours, the stages and choices, the list to take colours from.
quantize::DiffusionInput RunInput() {
    quantize::DiffusionInput input{static_cast<int>(RunFixedCount), RunPalette,
                                   quantize::kBasicPalette};
    input.stages = RunStages;
    input.choices = RunChoices;
    if (!RunFromColours.empty()) {
        input.fromColours = RunFromColours.data();
        input.fromCount = static_cast<int>(RunFromColours.size());
    }
    return input;
}

// Converts every frame of an animation onto one palette, counting the frames in the
// conversion window; the frames are changed only when all of them are converted.
void ConvertFrames(HWND window) {
    WorkerReports reports(window);
    quantize::FrameDiffusion diffusion(RunInput());
    std::vector<quantize::ImageBytes> images;
    for (const std::vector<BYTE>& frame : Frames.images) {
        images.push_back({frame.data(), frame.size()});
    }
    std::size_t refused = 0;
    quantize::Result result{diffusion.Start(images, reports, refused), ImageBytes};
    std::vector<std::vector<BYTE>> converted(images.size());
    BYTE table[3 * 256];
    quantize::CopyToRgbTable(diffusion.palette(), table);
    reports.Phase(kFramePhase);
    std::vector<std::uint8_t> indices;
    for (std::size_t f = 0; f < images.size() && result.outcome == quantize::Outcome::Converted;
         ++f) {
        result.outcome = diffusion.Next(images[f], indices);
        if (result.outcome == quantize::Outcome::Converted) {
            converted[f] = IndexedFrameImage(Frames.images[f], indices.data(), table,
                                             diffusion.entries(), diffusion.key());
            reports.Progress(static_cast<std::int64_t>(f + 1),
                             static_cast<std::int64_t>(images.size()));
        }
    }
    if (result.outcome == quantize::Outcome::Converted) {
        result.newSize = converted[Frames.shown].size();
        if (!TakeConvertedFrames(converted)) {
            result.outcome = quantize::Outcome::NoMemory;
        }
    }
    FinishConversion(window, result, diffusion.entries(), diffusion.key());
}

// Converts the document and tells the user how it went, in boxes owned by `window`.
void ConvertDocument(HWND window) {
    WorkerReports reports(window);
    const quantize::DiffusionInput input = RunInput();
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    const quantize::Result result =
        quantize::DiffuseImage(data, data ? ImageBytes : 0, DocumentResizer(), input, reports);
    GlobalUnlock(ImageBuffer);
    // A PNG of the result holds the colours asked for, entry 0 transparent for a key.
    FinishConversion(window, result, std::min(RunChoices.colours, 256),
                     RunChoices.key && RunFixedCount >= 1);
}

// Converts the document with its alpha: the entries have alpha too, for a PNG's tRNS.
void ConvertWithAlpha(HWND window) {
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    const quantize::Result result =
        quantize::DiffuseWithAlpha(data, data ? ImageBytes : 0, DocumentResizer(), RunAlpha);
    int entries = 256;
    if (result.outcome == quantize::Outcome::Converted && data != nullptr) {
        entries = static_cast<int>(bmp::ReadU32(data + bmp::kBiClrUsed)); // the palette's size
    }
    GlobalUnlock(ImageBuffer);
    FinishConversion(window, result, entries, RunAlpha.palette.key);
    Kind.translucent = result.outcome == quantize::Outcome::Converted;
}

// Whether the document is a true-colour image with an alpha channel.
bool DocumentHasAlpha() {
    const LockedBlock<const BYTE> document(ImageBuffer);
    bmp::TrueColourSource source;
    return document.get() != nullptr &&
           !bmp::CheckTrueColourSource(document.get(), ImageBytes, source).has_value() &&
           bmp::AlphaChannelOf(document.get(), source).has_value();
}

// Whether 高画質の設定 asks for what entries with alpha cannot have: a device's depth, a list
// to take the colours from, light, an order, or a pattern for the dithering.
bool AlphaRefusesChoices(const quantize::Choices& choices, const quantize::Stages& stages) {
    const bool kernel = stages.dither == quantize::DitherMethod::Kernel;
    return QualityDepth != 0 || QualityFrom[0] != '\0' || (kernel && choices.linear) ||
           choices.order != quantize::EntryOrder::Keep ||
           (!kernel && stages.dither != quantize::DitherMethod::Nearest);
}

// 誤差拡散（高画質） of an image with transparency that keeps it: every entry is chosen for
// the image, so no fixed colours are asked for; with the key colour, the palette's entry 0
// is the transparent entry's colour.
void DiffuseWithAlphaCommand(HWND mainWindow, const quantize::Stages& stages) {
    const quantize::Choices choices = QualityChoices();
    if (AlphaRefusesChoices(choices, stages)) {
        Report(mainWindow, kAlphaChoicesText, MB_ICONINFORMATION);
        return;
    }
    RunFixedCount = 0;
    std::memset(RunPalette, 0, sizeof RunPalette);
    if (choices.key) {
        const LockedBlock<const BYTE> saved(SavedPalette);
        if (FixedCount < 1 || saved.get() == nullptr) {
            Report(mainWindow, kKeyNeedsFixedText, MB_ICONWARNING);
            return;
        }
        std::memcpy(RunPalette, saved.get(), 4);
    }
    RunAlpha = quantize::AlphaInput{};
    RunAlpha.palette.colours = choices.colours;
    RunAlpha.palette.key = choices.key;
    RunAlpha.palette.keyColour = {RunPalette[2], RunPalette[1], RunPalette[0], 0};
    RunAlpha.dithering.kernel = stages.dither == quantize::DitherMethod::Kernel
                                    ? quantize::kKernels[static_cast<int>(choices.kernel)]
                                    : nullptr;
    RunAlpha.dithering.serpentine = choices.serpentine;
    RunAlpha.dithering.strength = choices.strength;
    StartConversion(mainWindow, ConvertWithAlpha);
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
    if (adaptive && QualityAlpha && !HasFrames() && DocumentHasAlpha()) {
        DiffuseWithAlphaCommand(mainWindow, stages);
        return;
    }
    // The basic method's palette is of one image: it takes the frame shown only.
    if (!adaptive && !MayTakeFrameShownOnly(mainWindow)) {
        return;
    }
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
    StartConversion(mainWindow, adaptive && HasFrames() ? ConvertFrames : ConvertDocument);
}
