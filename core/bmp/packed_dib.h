// The clipboard's packed device-independent bitmaps (CF_DIB, CF_DIBV5): the bitmap
// information, its masks and colour table, then the pixels, without a file header.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace bmp {

// The packed bitmap of a drawable file image: a 40-byte header (with its masks for bit
// fields) and the colour table, then its complete rows; run-length pixels are unpacked. An
// 8-bit image stays 8-bit. False when the image is not drawable.
bool PackedDibOf(const std::uint8_t* file, std::uint64_t size, std::vector<std::uint8_t>& dib);

// The BMP file image of a packed bitmap: a file header whose pixel offset lies behind the
// header, masks and colour table. False when the header is not one a BMP file holds or the
// pixels would start beyond the data.
bool FileOfPackedDib(const std::uint8_t* dib, std::uint64_t size, std::vector<std::uint8_t>& file);

// The packed bitmap with alpha of width x height pixels `rgba` (red, green, blue and straight
// alpha, the top row first), as CF_DIBV5 holds one: a 124-byte header of 32-bit bit fields
// (red 0x00FF0000, green 0x0000FF00, blue 0x000000FF, alpha 0xFF000000) in sRGB, then the rows
// bottom-up, each pixel blue, green, red and alpha.
std::vector<std::uint8_t> PackedDibWithAlpha(const std::uint8_t* rgba, std::uint32_t width,
                                             std::uint32_t height);

} // namespace bmp
