// An indexed image and the BMP file image: the writer of both conversions, which puts their
// result in place as an 8-bit file image, and the view of a plain file image as the image the
// other encoders write from. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/quantize/indexed_image.h"

namespace quantize {

// Rewrites the plain 24-bit file image at `data`, whose pixel rows the 8-bit indices have
// replaced (row y at data + 54 + y * W4), as an 8-bit file image: the indices move up, rows in
// the order they are stored, behind a colour table of 256 entries (entries beyond the image's
// `entries` black), the header says 8 bits, the image and file sizes and the pixel offset moved
// up by the table. The block must hold 1078 + rows * W4 bytes; the other header fields keep
// their values, the height's sign among them. Returns the file's length.
std::uint64_t WriteBmp8InPlace(std::uint8_t* data, const IndexedImage& image);

// The plain 8-bit file image of width x height indices given top row first, `image` giving the
// table, the entries in use and the key (its pixel fields are not read). May throw
// std::bad_alloc.
std::vector<std::uint8_t> Bmp8OfIndices(std::uint32_t width, std::uint32_t height,
                                        const std::uint8_t* indices, IndexedImage image);

// Rewrites the 8-bit file image WriteBmp8InPlace leaves, `image` being its view, as one of
// `bits` (1 or 4) a pixel, in place: a colour table of 2^bits entries (the first ones of the
// 8-bit table) followed by the packed rows, in the order they are stored, each padded to whole
// 32-bit words; the header says `bits`, 2^bits colours used, the image and file sizes, and the
// pixel offset moved down with the table. Every index must be below 2^bits. Returns the
// file's length.
std::uint64_t PackBmpInPlace(std::uint8_t* data, const IndexedImage& image, int bits);

// A plain 8- or 24-bit BMP file image of `size` bytes, as the conversions leave it and decoding
// makes it, viewed as an image to encode: a 40-byte header, no compression, the pixels right
// behind the headers (for 8 bits, behind a colour table of 256 entries), at least one row and
// one column, every row within `size`. An 8-bit image's table is its colour table, of which the
// first `entries` (1 to 256) are written, entry 0 transparent with `key`; a 24-bit image has
// none. Nothing for any other file image. The view points into `data`.
// With `translucent`, the fourth byte of each entry of an 8-bit image's table is its alpha.
std::optional<IndexedImage> ViewPlainBmp(const std::uint8_t* data, std::uint64_t size,
                                         int entries = 256, bool key = false,
                                         bool translucent = false);

} // namespace quantize
