// Indices of fewer bits: the highest index an 8-bit image's pixels take, the fewest bits that
// hold it, and 8-bit rows packed into 1, 2 or 4 bits a pixel, high bits first, as BMP and PNG
// both store them. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/indexed_image.h"

namespace quantize {

// The highest index any pixel of an 8-bit image takes.
int HighestIndex(const IndexedImage& image);

// The fewest bits of 1, 2, 4 and 8 whose indices reach `highest` (0 to 255).
int BitsHolding(int highest);

// Packs `width` 8-bit indices at `from` into `bits` (1, 2 or 4) each at `to`, the first pixel
// in the high bits, the last byte's unused bits 0: RowBytes of the packed row. `to` may be
// `from` or lie before it: every byte is written after the indices it holds are read. Every
// index must be below 2^bits.
void PackRow(const std::uint8_t* from, std::uint64_t width, int bits, std::uint8_t* to);

// Packs every row of an 8-bit image into `bits` (1, 2 or 4) where it is stored: `pixels` is
// the image's own, writable, indices. Returns the image of the packed rows (same stride and
// order, `bits` bits a pixel). Every index must be below 2^bits.
IndexedImage PackInPlace(const IndexedImage& image, std::uint8_t* pixels, int bits);

} // namespace quantize
