// Exact reduction: a 24-bit image of at most 256 distinct colours becomes an 8-bit image
// whose colour table lists the colours in the order they first occur in storage order.
// Works in place on the document's bytes. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "reduce/rewrite.h"

namespace reduce {

enum class ExactOutcome {
    Converted,         // the block holds the 8-bit image; newSize is its length
    NotTrueColour,     // the bit count is not 24; nothing changed
    TooManyColours,    // a 257th distinct colour was met; nothing changed
    UnsupportedLayout, // header other than 40 bytes, pixels not at 54, compression, ...
    Truncated,         // the file ends before its last pixel row
    NoMemory,          // the block could not grow; nothing changed
};

struct ExactResult {
    ExactOutcome outcome;
    std::uint64_t newSize; // the document's length afterwards (unchanged unless Converted)
    int colours;           // distinct colours found (when Converted)
};

// Converts the file image data[0, size) in place. `resize` grows the block by 1024 bytes
// first and shrinks it to the result's length last. On every outcome but Converted the
// bytes are unchanged. A failed final shrink still leaves a valid image of newSize bytes
// at the start of a larger block.
ExactResult ReduceExact(std::uint8_t* data, std::uint64_t size, const Resizer& resize);

} // namespace reduce
