// The writer of both conversions: an indexed image as an 8-bit BMP file image, written in
// the block that held the 24-bit image it was made from. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/indexed_image.h"

namespace quantize {

// Rewrites the plain 24-bit file image at `data`, whose pixel rows the indices have replaced
// (row y at data + 54 + y * W4), as an 8-bit file image: the indices move up behind a colour
// table of 256 entries (entries beyond the image's colours black), the header says 8 bits, the
// image and file sizes and the pixel offset moved up by the table. The block must hold
// 1078 + rows * W4 bytes; the other header fields keep their values. Returns the file's length.
std::uint64_t WriteBmp8InPlace(std::uint8_t* data, const IndexedImage& image);

} // namespace quantize
