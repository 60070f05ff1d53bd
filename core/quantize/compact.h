// An 8-bit image without the entries no pixel takes, and with entries of one colour merged.
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/outcome.h"

namespace quantize {

// Of a plain 8-bit BMP file image: the entries no pixel takes leave the table, and pixels of
// an entry whose colour an earlier entry has take that earlier one; the entries left keep their
// order, entry 0 stays entry 0 when `keepZero` (a key colour: no pixel of another entry is
// merged into it), and every pixel keeps its colour. The table keeps its 256 places, those
// after the entries left black, and biClrUsed says how many are left; `entries` is that
// number. With `withAlpha` the table's fourth byte is each entry's alpha, kept and compared
// with the colour. Refused (UnsupportedLayout, nothing changed) for anything but a plain 8-bit
// BMP.
Result CompactImage(std::uint8_t* data, std::uint64_t size, bool keepZero, int& entries,
                    bool withAlpha = false);

} // namespace quantize
