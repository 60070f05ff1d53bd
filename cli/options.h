// The command line of tintwright: what it says, read and checked before any file is touched.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/quantize/stages.h"
#include "core/tiles/tiles.h"

namespace cli {

// Exit codes.
inline constexpr int kConverted = 0;
inline constexpr int kRefused = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kFileError = 3;

inline constexpr int kAutoBits = 0;

extern const char kUsage[];
extern const char kHelp[];

struct Options {
    std::string command;
    std::vector<std::string> inputs;
    std::string output;    // -o: one input only
    std::string directory; // -d
    std::string palette;
    std::string format; // --format: bmp or png for images, a palette format for palette
    int fixed = 0;
    bool fixedGiven = false;
    bool adaptive = false;
    bool alpha = false; // --alpha: the palette's entries keep the pixels' alpha (PNG only)
    // Of --adaptive: how many colours, which dithering (a number of quantize::kDitherings)
    // and how strong, how much effort, in which order and light, and a key colour.
    int colours = 256;
    bool coloursGiven = false;
    int dithering = 0;
    int strength = 100;
    int effort = quantize::kDefaultEffort;
    bool serpentine = true, serpentineGiven = false;
    bool linear = false, linearGiven = false;
    bool key = false;
    bool choicesGiven = false;
    // The colours the device shows, for diffuse --adaptive and palette: --depth's bits of red,
    // green and blue, or --from's list (a palette file or a built-in palette's name).
    std::array<int, 3> depth = {8, 8, 8};
    std::string from;
    bool deviceGiven = false;
    // --order: of the chosen entries (diffuse --adaptive, palette); --keep OLD: a palette made
    // again keeps OLD's indices (palette).
    quantize::EntryOrder order = quantize::EntryOrder::Keep;
    bool orderGiven = false;
    std::string keep;
    // Of tiles: the tile rule (--target, then --tile, --palettes, --size, --shared and --depth
    // in the order given), --palette-out and --report.
    tiles::TileShape tileShape;
    bool tilesGiven = false;
    std::string paletteOut;
    bool report = false;
    // --bits: the bits a pixel of the written file, 1, 2, 4 or 8, or kAutoBits: the fewest
    // that hold the result's indices (a PNG's; a BMP's are 8).
    int bits = 8;
    bool bitsGiven = false;
    // Of frames: the milliseconds a still input shows, and the loop count of the GIF written
    // (0: for ever; -1: played once), unless the input's own is kept.
    int delay = 100;
    int loop = 0;
    bool loopGiven = false;
    bool framesGiven = false; // --delay or --loop
    int jobs = 0;             // files at a time; 0: as many as there are processors
    bool quiet = false;
    bool verbose = false;
};

// Parses "COMMAND IN... [options]"; false, with the problem, when the arguments are wrong.
bool ParseArguments(int argc, const char* const* argv, Options& options, std::string& problem);

// What a path names, to tell whether two paths are one file: an existing file by its device
// and inode (through symbolic and hard links alike), any other path by its absolute form.
std::string FileIdentity(const std::string& path);

// Where a file's result goes: -o, DIR/NAME with -d, or over the file itself; a name made
// with --format takes that format's extension (DIR/NAME.png, or NAME.png beside the file).
std::string OutputOf(const Options& options, const std::string& input);

enum class OutputFormat { Bmp, Png };

// How a result is written: as --format says, else by the output's extension (.png or .bmp,
// in any case); nothing for any other extension.
std::optional<OutputFormat> FormatOf(const Options& options, const std::string& output);

// An output that would be written in no format: one of another extension (say, converting a
// JPEG in place) for an input that is not a BMP by its name; or a BMP asked for in 2 bits a
// pixel, which BMP has no form for. True, with the problem.
bool FindUnwritableOutput(const Options& options, std::string& problem);

// Two inputs whose results would go to one file (the same input twice, two files of one
// name with -d, two links to one file), a result that would go over another input, and a
// tiles --palette-out over an input or the image, are refused before anything is read or
// written: one result would be lost, or two workers
// would replace one file at once. True, with the problem, when there are such.
bool FindCollision(const Options& options, std::string& problem);

} // namespace cli
