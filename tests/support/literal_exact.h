// The exact reduction written as plainly as it is described: a colour list searched
// linearly, a grow by 1024 bytes, an overlapping move, the index pass, the colour table,
// the header fields and a shrink. The oracle for the fast version.
#pragma once

#include <cstdint>
#include <vector>

namespace literal {

enum class ExactOutcome { Converted, NotTrueColour, TooManyColours };

// Converts a plain 24-bit file image (40-byte header, pixels at 54, all rows present).
ExactOutcome ReduceExact(std::vector<std::uint8_t>& image);

} // namespace literal
