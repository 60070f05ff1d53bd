// tintwright: the command-line front end of the BMP colour reducer. Runs the same
// conversions as the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch.h"
#include "cli/file_io.h"
#include "cli/frames.h"
#include "cli/messages.h"
#include "core/bmp/layout.h"
#include "cli/options.h"
#include "cli/temporaries.h"
#include "core/palette/palette_file.h"
#include "core/palette/named_palettes.h"
#include "core/palette/palette_formats.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/compact.h"
#include "core/quantize/entry_order.h"
#include "core/quantize/exact_reduction.h"
#include "core/quantize/frames.h"
#include "core/quantize/keep_indices.h"
#include "core/text/refusals.h"
#include "core/tiles/tiles.h"
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

// An 8-bit image without unused entries, one entry a colour; a PNG's palette holds the
// entries left.
int RunCompact(const Options& options) {
    ImageSettings images;
    images.entriesOfHeader = true;
    images.indexedPng = true;
    images.png.keyTransparent = options.key;
    const bool key = options.key;
    return ConvertAll(
        options,
        [key](cli::FileBytes& image, const quantize::Resizer&, quantize::DiffusionObserver&) {
            int entries = 0;
            return quantize::CompactImage(image.data(), image.size(), key, entries);
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

// The user's colours: --palette's table and how many of it are fixed, and --from's list.
struct UserColours {
    std::uint8_t table[palette::kTableBytes] = {};
    int fixed = 0;
    std::vector<std::uint32_t> list;
};

// Reads them; 0 when they could be read, else the exit code, with the problem told.
int ReadUserColours(const Options& options, UserColours& colours) {
    if (const int code = ReadFixedColours(options, colours.table, colours.fixed)) {
        return code;
    }
    return ReadDeviceList(options, colours.list);
}

// The choices of --adaptive. 0, or the exit code of a usage error, told.
int TakeAdaptiveChoices(const Options& options, const std::vector<std::uint32_t>& list, int fixed,
                        quantize::DiffusionInput& input) {
    input.choices.colours = options.colours;
    input.choices.strength = options.strength;
    input.choices.effort = options.effort;
    input.choices.key = options.key;
    input.choices.serpentine = options.serpentine;
    input.choices.linear = options.linear;
    input.choices.order = options.order;
    UseDevice(options, list, fixed, input);
    input.stages =
        quantize::ApplyDithering(quantize::kDitherings[options.dithering], input.choices);
    if (options.key && std::min(fixed, options.colours) < 1) {
        return UsageError("--key takes the first fixed colour as the key colour: give "
                          "--palette FILE and --fixed N of 1 or more");
    }
    return kConverted;
}

// Reads the user's colours and makes the run's input of them: the fixed colours and, with
// --adaptive, its choices. 0, or the exit code, with the problem told.
int MakeInput(const Options& options, UserColours& colours, quantize::DiffusionInput& input) {
    if (const int code = ReadUserColours(options, colours)) {
        return code;
    }
    input = {colours.fixed, colours.table, quantize::kBasicPalette};
    return options.adaptive ? TakeAdaptiveChoices(options, colours.list, colours.fixed, input)
                            : kConverted;
}

// The choices of --alpha: the adaptive ones as the palette and dithering of an image with
// transparency take them, the key colour the first fixed one.
quantize::AlphaInput AlphaInputOf(const Options& options, const UserColours& colours,
                                  const quantize::DiffusionInput& input) {
    quantize::AlphaInput alpha;
    alpha.palette.colours = input.choices.colours;
    alpha.palette.key = options.key;
    alpha.palette.keyColour = {colours.table[2], colours.table[1], colours.table[0], 0};
    alpha.dithering.kernel = input.stages.dither == quantize::DitherMethod::Kernel
                                 ? quantize::kKernels[static_cast<int>(input.choices.kernel)]
                                 : nullptr;
    alpha.dithering.serpentine = input.choices.serpentine;
    alpha.dithering.strength = input.choices.strength;
    return alpha;
}

// diffuse --adaptive --alpha: every input read with its alpha, written as an 8-bit PNG whose
// entries keep theirs.
int RunDiffuseWithAlpha(const Options& options, const UserColours& colours,
                        const quantize::DiffusionInput& input) {
    quantize::AlphaInput alpha = AlphaInputOf(options, colours, input);
    // Several files at a time keep the processors busy: each file's passes take one.
    alpha.palette.threads = JobsFor(options) > 1 ? 1 : 0;
    ImageSettings images;
    images.bits = options.bits;
    images.alpha.kept = true;
    images.entriesOfHeader = true;
    return ConvertAll(
        options,
        [&alpha](cli::FileBytes& image, const quantize::Resizer& resize,
                 quantize::DiffusionObserver&) {
            return quantize::DiffuseWithAlpha(image.data(), image.size(), resize, alpha);
        },
        JobsFor(options), images);
}

int RunDiffuse(const Options& options) {
    UserColours colours;
    quantize::DiffusionInput input;
    if (const int code = MakeInput(options, colours, input)) {
        return code;
    }
    if (options.alpha) {
        return RunDiffuseWithAlpha(options, colours, input);
    }
    const std::uint8_t* const table = colours.table;
    const int fixed = colours.fixed;
    const int jobs = JobsFor(options);
    // Several files at a time keep the processors busy: each file's dithering takes one.
    input.threads = jobs > 1 ? 1 : 0;
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

// "0-5, 7, 9-10": indices in ranges.
std::string Ranges(const std::vector<int>& indices) {
    std::string text;
    for (std::size_t i = 0; i < indices.size();) {
        std::size_t j = i;
        while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) {
            ++j;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(indices[i]) +
                (j > i ? "-" + std::to_string(indices[j]) : "");
        i = j + 1;
    }
    return text.empty() ? "none" : text;
}

// The new palette laid over --keep's palette file without moving its indices, and what became
// of its entries told on standard error. 0, or the exit code with the problem told.
int KeepOldIndices(const Options& options, int fixed, quantize::DiffusionPalette& chosen,
                   int& count) {
    cli::FileBytes file;
    std::string error;
    if (!cli::ReadWholeFile(options.keep, file, error, palette::kMaxPaletteFileBytes)) {
        return Fail(kFileError, options.keep, error);
    }
    std::uint8_t table[palette::kTableBytes] = {};
    palette::PaletteFileFacts facts;
    if (!palette::ReadPalette(file.data(), file.size(), palette::IsZName(options.keep.c_str()),
                              table, facts)) {
        return Fail(kFileError, options.keep, kMalformedPalette);
    }
    const int oldCount = facts.colours > 0 ? facts.colours : 256;
    if (oldCount < fixed) {
        return UsageError(("--keep " + options.keep + " holds " + std::to_string(oldCount) +
                           " colours, fewer than the " + std::to_string(fixed) + " fixed ones")
                              .c_str());
    }
    const quantize::KeptPalette kept = quantize::KeepIndices(quantize::PaletteOfColourTable(table),
                                                             oldCount, chosen, count, fixed);
    chosen = kept.palette;
    count = kept.count;
    std::fprintf(stderr,
                 "tintwright: --keep %s: %zu kept (%s), %zu freed (%s), %zu added (%s); %d "
                 "entries\n",
                 options.keep.c_str(), kept.kept.size(), Ranges(kept.kept).c_str(),
                 kept.freed.size(), Ranges(kept.freed).c_str(), kept.added.size(),
                 Ranges(kept.added).c_str(), count);
    return kConverted;
}

// Writes `count` entries of a colour table (blue, green, red, 0) as the palette file `name`
// in `format`, atomically. 0, or the exit code with the problem told.
int WritePaletteFile(const std::string& name, const std::uint8_t* table, int count,
                     palette::PaletteFormat format) {
    const std::vector<std::uint8_t> bytes = palette::EncodePalette(table, format, count, name);
    std::string error;
    if (!cli::WriteAtomically(name, bytes.data(), bytes.size(), error)) {
        return Fail(kFileError, name, error);
    }
    return kConverted;
}

// The format of palette's -o file: as its name says, unless --format says otherwise.
palette::PaletteFormat OutputPaletteFormat(const Options& options) {
    palette::PaletteFormat format = palette::FormatOfName(options.output);
    if (!options.format.empty()) {
        palette::FormatOfWord(options.format, format);
    }
    return format;
}

// The P * K entries of a tile image's table as --palette-out's file; a .pal is BGR555 for a
// device of 5 bits a channel. A failure is told; the image is written all the same.
void WriteTilePalettes(const Options& options, const std::uint8_t* bmp8, int entries) {
    const std::string& name = options.paletteOut;
    palette::PaletteFormat format = palette::FormatOfName(name);
    const std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    if ((extension == ".pal" || extension == ".PAL") &&
        options.tileShape.depth == std::array<int, 3>{5, 5, 5}) {
        format = palette::PaletteFormat::Bgr555;
    }
    WritePaletteFile(name, bmp8 + bmp::kColourTable, entries, format);
}

// Tiles of a few small palettes; --report tells each file's palettes and PSNR, --palette-out
// writes the palettes.
int RunTiles(const Options& options) {
    UserColours colours;
    if (const int code = ReadUserColours(options, colours)) {
        return code;
    }
    tiles::TileInput input;
    input.shape = options.tileShape;
    input.fixedCount = colours.fixed;
    input.fixedTable = colours.table;
    input.choices.strength = options.strength;
    input.choices.key = options.key;
    input.choices.serpentine = options.serpentine;
    input.stages =
        quantize::ApplyDithering(quantize::kDitherings[options.dithering], input.choices);
    if (tiles::CheckShape(input.shape, colours.fixed) != tiles::ShapeProblem::Fine) {
        return UsageError(("--palette " + options.palette + " gives " +
                           std::to_string(colours.fixed) + " fixed colours; the shared entries " +
                           "hold " + std::to_string(input.shape.shared))
                              .c_str());
    }
    if (options.key && colours.fixed < 1) {
        return UsageError("--key takes the first fixed colour as the key colour: give "
                          "--palette FILE and --fixed N of 1 or more");
    }
    const int entries = input.shape.palettes * input.shape.size;
    ImageSettings images;
    images.png = {entries, options.key, input.shape.size};
    if (options.key) {
        images.alpha.keyed = true;
        std::memcpy(images.alpha.key, colours.table, 3); // blue, green, red
    }
    std::mutex printing;
    return ConvertAll(
        options,
        [&](cli::FileBytes& image, const quantize::Resizer& resize,
            quantize::DiffusionObserver& observer) {
            tiles::TileReport report;
            const quantize::Result result =
                tiles::ConvertTiles(image.data(), image.size(), resize, input, observer, &report);
            if (result.outcome == quantize::Outcome::Converted && options.report) {
                std::string line = "tintwright: PSNR " + std::to_string(report.psnr) +
                                   " dB; tiles of each palette:";
                for (const int n : report.tilesOfPalette) {
                    line += " " + std::to_string(n);
                }
                const std::lock_guard<std::mutex> hold(printing);
                std::fprintf(stderr, "%s\n", line.c_str());
            }
            if (result.outcome == quantize::Outcome::Converted && !options.paletteOut.empty()) {
                WriteTilePalettes(options, image.data(), entries);
            }
            return result;
        },
        JobsFor(options), images);
}

// Reads every input whole for the palette of them all (PNG and JPEG files decoded, their
// transparency as `rule` says): `files` holds them, `images` points at them. 0, or the exit
// code, the failure told.
int ReadInputImages(const Options& options, const image::AlphaRule& rule,
                    std::vector<cli::FileBytes>& files, std::vector<quantize::ImageBytes>& images) {
    files.resize(options.inputs.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string error;
        if (!cli::ReadImageFile(options.inputs[i], rule, files[i], error)) {
            return Fail(kFileError, options.inputs[i], error);
        }
        images.push_back({files[i].data(), files[i].size()});
    }
    return kConverted;
}

// palette --alpha: the palette with alpha of all the inputs together, written as the format
// of -o takes it: red, green and blue (no palette format keeps alpha), the entries below full
// alpha first, the transparent one (the key colour with --key) at 0.
int RunPaletteWithAlpha(const Options& options, const UserColours& colours,
                        const quantize::DiffusionInput& input) {
    image::AlphaRule kept;
    kept.kept = true;
    std::vector<cli::FileBytes> files;
    std::vector<quantize::ImageBytes> images;
    if (const int code = ReadInputImages(options, kept, files, images)) {
        return code;
    }
    quantize::AlphaInput alpha = AlphaInputOf(options, colours, input);
    alpha.palette.threads = options.jobs == 1 ? 1 : 0;
    quantize::AlphaPalette chosen;
    std::size_t refused = 0;
    const quantize::Outcome outcome =
        quantize::AlphaPaletteOfImages(images, alpha.palette, chosen, refused);
    if (outcome != quantize::Outcome::Converted) {
        return Fail(outcome == quantize::Outcome::NoMemory ? kFileError : kRefused,
                    options.inputs[refused], Say(text::RefusalText(outcome)));
    }
    std::uint8_t written[palette::kTableBytes] = {};
    for (int e = 0; e < chosen.count; ++e) {
        const quantize::RgbaEntry& entry = chosen.entries[static_cast<std::size_t>(e)];
        written[4 * e] = entry.blue;
        written[4 * e + 1] = entry.green;
        written[4 * e + 2] = entry.red;
    }
    return WritePaletteFile(options.output, written, chosen.count, OutputPaletteFormat(options));
}

// One high-quality palette for all the inputs, written to -o. Every input is read whole
// first (PNG and JPEG files decoded, as the conversions take them), so the memory is that of
// the images together and the palette's own.
int RunPalette(const Options& options) {
    UserColours colours;
    quantize::DiffusionInput input;
    if (const int code = MakeInput(options, colours, input)) {
        return code;
    }
    if (options.alpha) {
        return RunPaletteWithAlpha(options, colours, input);
    }
    std::vector<cli::FileBytes> files;
    std::vector<quantize::ImageBytes> images;
    if (const int code = ReadInputImages(options, {}, files, images)) {
        return code;
    }
    input.stages = quantize::kHighQualityDiffusion;
    input.threads = options.jobs == 1 ? 1 : 0;
    UseDevice(options, colours.list, colours.fixed, input);
    quantize::DiffusionPalette chosen;
    quantize::SilentObserver silent;
    std::size_t refused = 0;
    const quantize::Outcome outcome =
        quantize::PaletteOfImages(images, input, silent, chosen, refused);
    if (outcome != quantize::Outcome::Converted) {
        return Fail(outcome == quantize::Outcome::NoMemory ? kFileError : kRefused,
                    options.inputs[refused], Say(text::RefusalText(outcome)));
    }
    int count = input.choices.colours;
    if (options.order != quantize::EntryOrder::Keep) {
        std::uint8_t table4[palette::kTableBytes] = {};
        quantize::CopyToColourTable(chosen, 0, table4);
        const int first = std::min(colours.fixed, count);
        const std::vector<int> places =
            quantize::SortedEntries(table4, nullptr, first, count, options.order);
        const quantize::DiffusionPalette was = chosen;
        for (std::size_t k = 0; k < places.size(); ++k) {
            chosen[static_cast<std::size_t>(first) + k] = was[static_cast<std::size_t>(places[k])];
        }
    }
    if (!options.keep.empty()) {
        if (const int code = KeepOldIndices(options, colours.fixed, chosen, count)) {
            return code;
        }
    }
    std::uint8_t written[palette::kTableBytes] = {};
    quantize::CopyToColourTable(chosen, 0, written);
    // As many colours as the run made: the entries after them would only be black.
    if (const int code =
            WritePaletteFile(options.output, written, count, OutputPaletteFormat(options))) {
        return code;
    }
    if (options.verbose) {
        std::fprintf(stderr, "tintwright: %zu images: %s\n", images.size(), options.output.c_str());
    }
    return kConverted;
}

// frames -o: the GIF of the frames, made while `dither` makes each (on a second thread, or
// with -j 1 on demand), each frame's indices given up once stored; written atomically.
int WriteAnimatedGif(const Options& options, IndexedFrames& frames,
                     const std::function<int(std::size_t)>& dither) {
    std::vector<std::uint8_t> gif;
    std::string error;
    int code = kConverted;
    bool made = false;
    const auto forget = [&frames](std::size_t f) {
        std::vector<std::uint8_t>().swap(frames.frames[f]);
    };
    if (options.jobs == 1) {
        std::size_t done = 0;
        made = EncodeGif(
            frames, gif, error,
            [&](std::size_t f) {
                while (done <= f && code == kConverted) {
                    code = dither(done++);
                }
                return code == kConverted;
            },
            forget);
    } else {
        FrameRelay relay;
        std::thread encoder([&] {
            made = EncodeGif(
                frames, gif, error, [&relay](std::size_t f) { return relay.Wait(f); },
                [&](std::size_t f) {
                    forget(f);
                    relay.Stored(f);
                });
            relay.WriterEnded();
        });
        for (std::size_t f = 0; f < frames.frames.size() && code == kConverted; ++f) {
            relay.WaitForRoom(f);
            code = dither(f);
            code == kConverted ? relay.Done(f) : relay.Stop();
        }
        encoder.join();
    }
    if (code != kConverted) {
        return code;
    }
    if (!made || !WriteAtomically(options.output, gif.data(), gif.size(), error)) {
        return Fail(kFileError, options.output, error);
    }
    return kConverted;
}

// The frames of an animation or of a set of images on one palette, dithered in order so that
// still areas stay still; written as an animated GIF or numbered images. The palette is chosen
// for the frames ReadFrames keeps (every frame when they fit in image::kMaxAnimationPixels, 24
// bits a pixel, or half that with --alpha); then each is dithered and written in turn, the
// frames kept giving way to their indices, or, when not all were kept, read again one at a time.
int RunFrames(const Options& options) {
    UserColours colours;
    quantize::DiffusionInput input;
    if (const int code = MakeInput(options, colours, input)) {
        return code;
    }
    const std::uint8_t* const table = colours.table;
    input.threads = options.jobs == 1 ? 1 : 0;
    // A GIF keeps an entry for the unchanged pixels of the frames after the first, which it
    // leaves transparent, unless --colours asks for all 256 (or the key colour's is there).
    if (!options.output.empty() && !options.coloursGiven && !options.key &&
        input.choices.colours == 256) {
        input.choices.colours = 255;
    }
    image::AlphaRule alpha;
    alpha.kept = options.alpha;
    if (options.key && !options.alpha) {
        alpha.keyed = true;
        std::memcpy(alpha.key, table, 3); // blue, green, red
    }
    const bool together = options.jobs != 1;
    Animation animation;
    std::string path, error;
    // With alpha, a frame takes 4 bytes a pixel, and the palette a copy of every pixel kept:
    // half the frames are kept.
    const std::uint64_t budget = image::kMaxAnimationPixels / (options.alpha ? 2 : 1);
    if (!ReadFrames(options.inputs, options.delay, alpha, together, animation, path, error,
                    budget)) {
        return Fail(kFileError, path, error);
    }
    std::vector<quantize::ImageBytes> kept;
    for (const FileBytes& frame : animation.frames) {
        kept.push_back({frame.data(), frame.size()});
    }
    const auto failed = [&](quantize::Outcome outcome, std::size_t frame) {
        return Fail(outcome == quantize::Outcome::NoMemory ? kFileError : kRefused,
                    options.inputs[0] + " (frame " + std::to_string(frame + 1) + ")",
                    Say(text::RefusalText(outcome)));
    };
    IndexedFrames frames;
    frames.width = animation.width;
    frames.height = animation.height;
    frames.frames.resize(animation.delays.size());
    frames.delays = animation.delays;
    frames.loop = options.loopGiven ? options.loop : animation.loop;
    std::uint8_t table4[palette::kTableBytes] = {}; // for --palette-out
    std::size_t refused = 0;
    quantize::FrameDiffusion diffusion(input);
    quantize::AlphaInput alphaInput = AlphaInputOf(options, colours, input);
    alphaInput.palette.threads = input.threads;
    quantize::AlphaFrameDiffusion alphaDiffusion(alphaInput);
    if (options.alpha) {
        if (const auto outcome = alphaDiffusion.Start(kept, refused);
            outcome != quantize::Outcome::Converted) {
            return failed(outcome, refused * animation.spacing);
        }
        const quantize::AlphaPalette& chosen = alphaDiffusion.palette();
        for (std::size_t e = 0; e < static_cast<std::size_t>(chosen.count); ++e) {
            const quantize::RgbaEntry& entry = chosen.entries[e];
            frames.table[3 * e] = table4[4 * e + 2] = entry.red;
            frames.table[3 * e + 1] = table4[4 * e + 1] = entry.green;
            frames.table[3 * e + 2] = table4[4 * e] = entry.blue;
            frames.alpha[e] = entry.alpha;
        }
        frames.entries = chosen.count;
        frames.translucent = true;
    } else {
        quantize::SilentObserver silent;
        if (const auto outcome = diffusion.Start(kept, silent, refused);
            outcome != quantize::Outcome::Converted) {
            return failed(outcome, refused * animation.spacing);
        }
        quantize::CopyToRgbTable(diffusion.palette(), frames.table.data());
        quantize::CopyToColourTable(diffusion.palette(), 0, table4);
        frames.entries = diffusion.entries();
        frames.key = diffusion.key();
    }
    // The frames in order: those kept when all were, else read again one at a time.
    std::unique_ptr<FrameReader> again;
    if (animation.spacing > 1) {
        animation.frames.clear();
        again = std::make_unique<FrameReader>(
            options.inputs, options.delay, alpha, together,
            FrameBounds{image::kMaxFrames, image::kMaxStreamedPixels});
    }
    // Frame f dithered into its indices: the exit code, a failure told.
    const auto dither = [&](std::size_t f) {
        FileBytes read;
        int shows = 0;
        if (again && !again->Next(read, shows)) {
            return Fail(kFileError, again->path(),
                        again->error().empty() ? "fewer frames than when it was first read"
                                               : again->error());
        }
        FileBytes& frame = again ? read : animation.frames[f];
        const quantize::ImageBytes image{frame.data(), frame.size()};
        const quantize::Outcome outcome = options.alpha
                                              ? alphaDiffusion.Next(image, frames.frames[f])
                                              : diffusion.Next(image, frames.frames[f]);
        FileBytes().swap(frame);
        return outcome == quantize::Outcome::Converted ? kConverted : failed(outcome, f);
    };
    int code = kConverted;
    if (!options.output.empty()) {
        code = WriteAnimatedGif(options, frames, dither);
    } else {
        std::vector<std::string> names;
        code = NameFrameFiles(options, frames.frames.size(), names);
        for (std::size_t f = 0; f < names.size() && code == kConverted; ++f) {
            code = dither(f);
            code = code == kConverted ? WriteFrameFile(options, frames, f, names[f]) : code;
            std::vector<std::uint8_t>().swap(frames.frames[f]);
        }
    }
    if (code == kConverted && !options.paletteOut.empty()) {
        if (const int unwritten = WritePaletteFile(options.paletteOut, table4, frames.entries,
                                                   palette::FormatOfName(options.paletteOut))) {
            return unwritten;
        }
    }
    if (code == kConverted && options.verbose) {
        std::fprintf(stderr, "tintwright: %zu frames, %d colours\n", frames.frames.size(),
                     frames.entries);
    }
    return code;
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
        if (options.command == "compact") {
            return RunCompact(options);
        }
        if (options.command == "frames") {
            return RunFrames(options);
        }
        if (options.command == "tiles") {
            return RunTiles(options);
        }
        return options.command == "exact" ? RunExact(options) : RunDiffuse(options);
    } catch (const std::bad_alloc&) {
        return Fail(kFileError, options.inputs[0], Say(kNoMemoryText));
    }
}
