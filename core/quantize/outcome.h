// How a conversion ended, and how it resizes the block it works in: one outcome for both
// conversions and every front end. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <functional>

#include "core/bmp/true_colour.h"

namespace quantize {

// Every outcome but Converted leaves the image's bytes as they were.
enum class Outcome {
    Converted,         // the block holds the 8-bit image
    AlreadyIndexed,    // the bit count does not suit the conversion: a colour table is there
    TooManyColours,    // exact reduction met a 257th distinct colour
    UnsupportedLayout, // a layout the conversions do not rewrite
    Truncated,         // the file ends before its last pixel row
    NoMemory,          // the block could not grow, or working memory ran out
};

struct Result {
    Outcome outcome;
    std::uint64_t newSize; // the document's length afterwards (unchanged unless Converted)
};

// The refusal of an image that is no true-colour source.
inline Outcome OutcomeOf(bmp::SourceProblem problem) {
    switch (problem) {
    case bmp::SourceProblem::AlreadyIndexed:
        return Outcome::AlreadyIndexed;
    case bmp::SourceProblem::Truncated:
        return Outcome::Truncated;
    case bmp::SourceProblem::UnsupportedLayout:
        break;
    }
    return Outcome::UnsupportedLayout;
}

// The block's bytes after a resize request, and whether the size changed. When it did not,
// the block and its content are as before (data still points at them).
struct ResizeResult {
    std::uint8_t* data;
    bool resized;
};

// Resizes the block holding the document to the given size, keeping its first
// min(old, new) bytes; bytes added by growing are undefined. The block may move.
using Resizer = std::function<ResizeResult(std::uint64_t newSize)>;

} // namespace quantize
