// Exact reduction: a 24-bit image of at most 256 distinct colours becomes an 8-bit image
// whose colour table lists the colours in the order they first occur in storage order.
// Works in place on the document's bytes, and ends in the same writer as error diffusion. Portable:
// no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/outcome.h"

namespace quantize {

// Converts the file image data[0, size) in place, from any layout CheckTrueColourSource
// accepts. `resize` grows the block by 1024 bytes beyond the plain 24-bit image (or the
// file, when that is longer) first, and shrinks it to the result's length last. A 257th
// colour is refused as TooManyColours. A failed final shrink still leaves a valid
// image of newSize bytes at the start of a larger block.
Result ReduceExact(std::uint8_t* data, std::uint64_t size, const Resizer& resize);

} // namespace quantize
