// How a conversion ended: one outcome for both conversions and every front end. Portable: no
// platform headers.
#pragma once

#include <cstdint>

namespace reduce {

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

} // namespace reduce
