// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <new>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/file_io.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/temporaries.h"
#include "core/palette/palette_file.h"
#include "core/palette/named_palettes.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "core/tiles/tiles.h"
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

// The colours of --from: a built-in palette's name, or a palette file (a file named like a
// built-in palette is read as ./NAME). 0 when they could be read, else the exit code, with
// the problem told.
int ReadDeviceList(const Options& options, std::vector<std::uint32_t>& list) {
    if (options.from.empty() || palette::FindNamedPalette(options.from, list)) {
        return kConverted;
    }
    std::string names;
    for (int k = 0; k < palette::kPaletteNameCount; ++k) {
        names += std::string(k == 0 ? "" : ", ") + palette::kPaletteNames[k];
    }
    const std::string problem = "--from " + options.from + ": not a list of 1 to " +
                                std::to_string(palette::kMaxListColours) +
                                " colours that can be read, nor a palette's name (" + names + ")";
    if (::access(options.from.c_str(), F_OK) != 0) {
        return UsageError(problem.c_str());
    }
    cli::FileBytes file;
    std::string error;
    if (!cli::ReadWholeFile(options.from, file, error, palette::kMaxPaletteFileBytes)) {
        return Fail(kFileError, options.from, error);
    }
    if (!palette::ReadColourList(file.data(), file.size(), palette::IsZName(options.from.c_str()),
                                 list)) {
        return UsageError(problem.c_str());
    }
    return kConverted;
}

// The device's colours in the run: the choices' depth or list, and no more colours than the
// fixed ones and the device's own (64 at --depth 2). A fixed colour the device does not show
// is kept, and told once.
void UseDevice(const Options& options, const std::vector<std::uint32_t>& list, int fixed,
               quantize::DiffusionInput& input) {
    input.choices.depth = options.depth;
    input.fromColours = list.empty() ? nullptr : list.data();
    input.fromCount = static_cast<int>(list.size());
    const quantize::DeviceColours device(options.depth, input.fromColours, input.fromCount);
    if (device.Every()) {
        return;
    }
    const std::uint64_t room = static_cast<std::uint64_t>(fixed) + device.Count();
    if (room < static_cast<std::uint64_t>(input.choices.colours)) {
        input.choices.colours = static_cast<int>(room);
    }
    int off = 0, first = -1;
    for (int e = 0; e < std::min(fixed, input.choices.colours); ++e) {
        const std::uint8_t* bgr = input.fixedTable + 4 * e;
        if (!device.Holds(static_cast<std::uint32_t>(bgr[2] << 16 | bgr[1] << 8 | bgr[0]))) {
            first = first < 0 ? e : first;
            ++off;
        }
    }
    if (off > 0) {
        char colour[8];
        const std::uint8_t* bgr = input.fixedTable + 4 * first;
        std::snprintf(colour, sizeof colour, "%02X%02X%02X", bgr[2], bgr[1], bgr[0]);
        std::fprintf(stderr,
                     "tintwright: warning: %d fixed colour%s not one the device shows (the "
                     "first: entry %d, #%s); kept as %s\n",
                     off, off == 1 ? " is" : "s are", first, colour,
                     off == 1 ? "it is" : "they are");
    }
}

int RunDiffuse(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    std::vector<std::uint32_t> list;
    if (const int code = ReadFixedColours(options, table, fixed)) {
        return code;
    }
    if (const int code = ReadDeviceList(options, list)) {
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
        UseDevice(options, list, fixed, input);
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
        images.png = {input.choices.colours, options.key && fixed >= 1};
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

// Tile images: each image's tiles grouped onto P palettes of K, written as one 8-bit image
// whose colour table holds the palettes one after another; --report tells each image's
// figures, --palette-out writes the palettes of the one input.
int RunTiles(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    if (const int code = ReadFixedColours(options, table, fixed)) {
        return code;
    }
    if (tiles::CheckShape(options.shape, fixed) == tiles::ShapeProblem::FixedColours) {
        return UsageError(("the palette's " + std::to_string(fixed) +
                           " fixed colours are more than the shared entries (--shared " +
                           std::to_string(options.shape.shared) + "): give --fixed N")
                              .c_str());
    }
    if (options.key && fixed < 1) {
        return UsageError("--key takes the first fixed colour as the key colour: give "
                          "--palette FILE and --fixed N of 1 or more");
    }
    tiles::TileInput input;
    input.shape = options.shape;
    input.fixedCount = fixed;
    input.fixedTable = table;
    input.choices.strength = options.strength;
    input.choices.key = options.key;
    input.choices.serpentine = options.serpentine;
    input.choices.linear = options.linear;
    input.stages =
        quantize::ApplyDithering(quantize::kDitherings[options.dithering], input.choices);
    const int entries = options.shape.palettes * options.shape.size;
    ImageSettings images;
    images.png = {entries, options.key};
    if (options.key) {
        images.alpha.keyed = true;
        std::memcpy(images.alpha.key, table, 3); // blue, green, red
    }
    std::mutex told;
    std::vector<std::uint8_t> palettes;
    std::string named; // with --report, the input converted: one at a time, in order
    const Conversion convert = [&](cli::FileBytes& image, const quantize::Resizer& resize,
                                   quantize::DiffusionObserver& observer) {
        tiles::TileReport report;
        const quantize::Result result =
            tiles::ConvertTiles(image.data(), image.size(), resize, input, observer, &report);
        if (result.outcome != quantize::Outcome::Converted) {
            return result;
        }
        const std::lock_guard<std::mutex> lock(told);
        if (!options.paletteOut.empty()) {
            // The colour table of the 8-bit file image, right behind its headers.
            palettes.assign(image.data() + 54, image.data() + 54 + palette::kTableBytes);
        }
        if (options.report) {
            std::string line = named + ": PSNR ";
            char figure[32];
            std::snprintf(figure, sizeof figure, "%.2f dB", report.psnr);
            line += std::isinf(report.psnr) ? "infinite (every pixel kept)" : figure;
            line += "; tiles of each palette:";
            for (const int n : report.tilesOfPalette) {
                line += " " + std::to_string(n);
            }
            std::printf("%s\n", line.c_str());
        }
        return result;
    };
    int code = kConverted;
    if (options.report) {
        for (const std::string& file : options.inputs) {
            Options one = options;
            one.inputs = {file};
            named = file;
            const int its = ConvertAll(one, convert, 1, images);
            code = code == kFileError || its == kFileError ? kFileError : std::max(code, its);
        }
    } else {
        code = ConvertAll(options, convert, JobsFor(options), images);
    }
    if (code != kConverted || options.paletteOut.empty() || palettes.empty()) {
        return code;
    }
    palette::PaletteFormat format = palette::FormatOfName(options.paletteOut);
    if (!options.paletteOutFormat.empty()) {
        palette::FormatOfWord(options.paletteOutFormat, format);
    }
    const std::vector<std::uint8_t> bytes =
        palette::EncodePalette(palettes.data(), format, entries, options.paletteOut);
    std::string error;
    if (!cli::WriteAtomically(options.paletteOut, bytes.data(), bytes.size(), error)) {
        return Fail(kFileError, options.paletteOut, error);
    }
    return kConverted;
}

// One high-quality palette for all the inputs, written to -o. Every input is read whole
// first (PNG and JPEG files decoded, as the conversions take them), so the memory is that of
// the images together and the palette's own.
int RunPalette(const Options& options) {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    std::vector<std::uint32_t> list;
    if (const int code = ReadFixedColours(options, table, fixed)) {
        return code;
    }
    if (const int code = ReadDeviceList(options, list)) {
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
    UseDevice(options, list, fixed, input);
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
        if (options.command == "tiles") {
            return RunTiles(options);
        }
        return options.command == "exact" ? RunExact(options) : RunDiffuse(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.inputs[0], Say(kNoMemoryText));
    }
}
