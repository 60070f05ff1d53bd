// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/file_io.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/temporaries.h"
#include "core/palette/palette_file.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "tw_version.h"

namespace {

using namespace cli;

constexpr char kMalformedPalette[] =
    "not a palette that can be read (a bad number, a value over 255, more than 256 colours, "
    "a line of a hex list that is not a colour, or a part cut short)";

int UsageError(const char* problem) {
    std::fprintf(stderr, "tintwright: %s\n%s", problem, kUsage);
    return kUsageError;
}

int RunExact(const Options& options) {
    ImageSettings images;
    images.bits = options.bits;
    return ConvertAll(
        options,
        [](cli::FileBytes& image, const quantize::Resizer& resize, quantize::DiffusionObserver&) {
            return quantize::ReduceExact(image.data(), image.size(), resize);
        },
        JobsFor(options), images);
}

// The fixed colours of --palette: the file's table and how many of its entries to keep
// (--fixed, or the number of colours the file says it holds). 0 when they could be read,
// else the exit code, with the problem told.
int ReadFixedColours(const Options& options, std::uint8_t* table, int& fixed) {
    fixed = options.fixed;
    if (options.palette.empty()) {
        return kConverted;
    }
    cli::FileBytes file;
    std::string error;
    if (!cli::ReadWholeFile(options.palette, file, error, palette::kMaxPaletteFileBytes)) {
        return Fail(kFileError, options.palette, error);
    }
    palette::PaletteFileFacts facts;
    if (!palette::ReadPalette(file.data(), file.size(), palette::IsZName(options.palette.c_str()),
                              table, facts)) {
        return Fail(kFileError, options.palette, kMalformedPalette);
    }
    if (!options.fixedGiven) {
        // A file that says how many colours it holds gives that many fixed colours.
        if (facts.colours < 0) {
            return UsageError(("--palette needs --fixed N: " + options.palette +
                               " does not say how many of its colours to keep")
                                  .c_str());
        }
        fixed = facts.colours;
    }
    return kConverted;
}

int RunDiffuse(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    if (const int code = ReadFixedColours(options, table, fixed)) {
        return code;
    }
    const int jobs = JobsFor(options);
    quantize::DiffusionInput input{fixed, table, quantize::kBasicPalette};
    // Several files at a time keep the processors busy: each file's dithering takes one.
    input.threads = jobs > 1 ? 1 : 0;
    if (options.adaptive) {
        input.choices.colours = options.colours;
        input.choices.strength = options.strength;
        input.choices.effort = options.effort;
        input.choices.key = options.key;
        input.choices.serpentine = options.serpentine;
        input.choices.linear = options.linear;
        input.stages =
            quantize::ApplyDithering(quantize::kDitherings[options.dithering], input.choices);
        if (options.key && std::min(fixed, options.colours) < 1) {
            return UsageError("--key takes the first fixed colour as the key colour: give "
                              "--palette FILE and --fixed N of 1 or more");
        }
    }
    // A PNG's palette holds the colours asked for, and with a key colour entry 0 is
    // transparent; so are a PNG input's fully transparent pixels.
    ImageSettings images;
    images.bits = options.bits;
    images.refines = quantize::Refines(input);
    if (options.adaptive) {
        images.png = {std::min(options.colours, 256), options.key && fixed >= 1};
        if (images.png.keyTransparent) {
            images.alpha.keyed = true;
            std::memcpy(images.alpha.key, table, 3); // blue, green, red
        }
    }
    return ConvertAll(
        options,
        [&input](cli::FileBytes& image, const quantize::Resizer& resize,
                 quantize::DiffusionObserver& observer) {
            return quantize::DiffuseImage(image.data(), image.size(), resize, input, observer);
        },
        jobs, images);
}

// One high-quality palette for all the inputs, written to -o. Every input is read whole
// first (PNG and JPEG files decoded, as the conversions take them), so the memory is that of
// the images together and the palette's own.
int RunPalette(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    if (const int code = ReadFixedColours(options, table, fixed)) {
        return code;
    }
    std::vector<cli::FileBytes> files(options.inputs.size());
    std::vector<quantize::ImageBytes> images;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string error;
        if (!cli::ReadImageFile(options.inputs[i], {}, files[i], error)) {
            return Fail(kFileError, options.inputs[i], error);
        }
        images.push_back({files[i].data(), files[i].size()});
    }
    quantize::DiffusionInput input{fixed, table, quantize::kBasicPalette};
    input.stages = quantize::kHighQualityDiffusion;
    input.threads = options.jobs == 1 ? 1 : 0;
    quantize::DiffusionPalette chosen;
    quantize::SilentObserver silent;
    std::size_t refused = 0;
    const quantize::Outcome outcome =
        quantize::PaletteOfImages(images, input, silent, chosen, refused);
    if (outcome != quantize::Outcome::Converted) {
        return Fail(outcome == quantize::Outcome::NoMemory ? kFileError : kRefused,
                    options.inputs[refused], Say(text::RefusalText(outcome)));
    }
    std::uint8_t written[palette::kTableBytes] = {};
    quantize::CopyToColourTable(chosen, 0, written);
    palette::PaletteFormat format = palette::FormatOfName(options.output);
    if (!options.format.empty()) {
        palette::FormatOfWord(options.format, format);
    }
    // As many colours as the run made: the entries after them would only be black.
    const std::vector<std::uint8_t> bytes =
        palette::EncodePalette(written, format, input.choices.colours, options.output);
    std::string error;
    if (!cli::WriteAtomically(options.output, bytes.data(), bytes.size(), error)) {
        return Fail(kFileError, options.output, error);
    }
    if (options.verbose) {
        std::fprintf(stderr, "tintwright: %zu images: %s\n", images.size(), options.output.c_str());
    }
    return kConverted;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tintwright %s\n", TW_VERSION_TEXT);
        return 0;
    }
    Options options;
    std::string problem;
    if (!ParseArguments(argc, argv, options, problem) || FindCollision(options, problem) ||
        FindUnwritableOutput(options, problem)) {
        return UsageError(problem.c_str());
    }
    RemoveTemporariesOnSignals();
    try {
        if (options.command == "palette") {
            return RunPalette(options);
        }
        return options.command == "exact" ? RunExact(options) : RunDiffuse(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.inputs[0], Say(kNoMemoryText));
    }
}
