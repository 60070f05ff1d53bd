// Converting the files of a command line, several at a time, each written atomically,
// with the progress shown on a terminal.
#pragma once

#include <functional>
#include <string>

#include "cli/file_io.h"
#include "cli/image_io.h"
#include "cli/options.h"
#include "core/image/rgba.h"
#include "core/quantize/observer.h"
#include "core/quantize/outcome.h"

namespace cli {

// The conversion of one file's bytes.
using Conversion = std::function<quantize::Result(FileBytes&, const quantize::Resizer&,
                                                  quantize::DiffusionObserver&)>;

// What images other than BMP need: what becomes of their transparency when they are read,
// and how a result written as PNG is made; and whether the conversion refines its dithering
// (the memory it takes).
struct ImageSettings {
    image::AlphaRule alpha;
    PngChoices png;
    int bits = 8; // of the written file, as Options::bits
    bool refines = false;
    bool entriesOfHeader = false; // a PNG's palette holds the entries biClrUsed says (compact)
    bool indexedPng = false;      // an indexed PNG is read as its indices and palette (compact)
};

// Reads an input as the conversions take it: a BMP as it is, a PNG or JPEG (known by its
// content) decoded into the plain 24-bit BMP file image of its pixels, `alpha` saying what
// becomes of transparency. False, with why in `error`, when it cannot be read.
bool ReadImageFile(const std::string& path, const image::AlphaRule& alpha, FileBytes& image,
                   std::string& error);

// Converts every input, `jobs` at a time; the exit code is the worst of theirs: 3 before 1.
// A PNG or JPEG input is decoded first; a result goes out as a PNG where FormatOf says so.
int ConvertAll(const Options& options, const Conversion& convert, int jobs,
               const ImageSettings& images = {});

// How many files to convert at a time: -j, or the processors, never more than the files.
int JobsFor(const Options& options);

// Tells of a failure, "tintwright: PATH: MESSAGE", and returns `code`.
int Fail(int code, const std::string& path, const std::string& message);

} // namespace cli
