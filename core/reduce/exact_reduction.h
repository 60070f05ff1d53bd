// Exact reduction: a 24-bit image of at most 256 distinct colours becomes an 8-bit image
// whose colour table lists the colours in the order they first occur in storage order.
// Works in place on the document's bytes. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/reduce/outcome.h"
#include "core/reduce/rewrite.h"

namespace reduce {

// Converts the file image data[0, size) in place. `resize` grows the block by 1024 bytes
// first and shrinks it to the result's length last. Refuses every bit count but 24 as
// AlreadyIndexed, and a 257th colour as TooManyColours. A failed final shrink still leaves a valid
// image of newSize bytes at the start of a larger block.
Result ReduceExact(std::uint8_t* data, std::uint64_t size, const Resizer& resize);

} // namespace reduce
