// An 8-bit image without the entries no pixel takes, and with entries of one colour merged.
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/outcome.h"

namespace quantize {

// Of a plain 8-bit BMP file image: the entries no pixel takes leave the table, and pixels of
// an entry whose colour an earlier entry has take that earlier one; the entries left keep their
// order, entry 0 stays entry 0 when `keepZero` (a key colour), and every pixel keeps its
// colour. The table then holds just those entries (biClrUsed says how many) and the file
// shrinks by the rest. `entries` is how many are left. Refused (UnsupportedLayout, nothing
// changed) for anything but a plain 8-bit BMP.
Result CompactImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize, bool keepZero,
                    int& entries);

} // namespace quantize
