// Run-length encoded BMP pixels (4 and 8 bits), unpacked for display. Portable: no platform
// headers.
#pragma once

#include <cstdint>
#include <vector>

namespace bmp {

// Unpacks RLE8 (bits 8) or RLE4 (bits 4) data into `pixels`: `rows` bottom-up rows of one
// index byte per pixel, each row padded to a multiple of 4 bytes. Pixels the data skips or
// never reaches are index 0. Never reads outside [data, data + size) nor writes outside the
// rows; stops at the end-of-bitmap code, the end of the data, or anything malformed. Returns
// what RleIsWhole says of the data.
bool UnpackRle(const std::uint8_t* data, std::uint64_t size, int bits, std::int32_t width,
               std::int32_t rows, std::vector<std::uint8_t>& pixels);

// True when the data reaches its end: its end-of-bitmap code, or past its last row, or the
// end of a last row that is all there. False when the data stops before that: a file cut
// short (also inside a code, or a run of pixels that runs past the data).
bool RleIsWhole(const std::uint8_t* data, std::uint64_t size, int bits, std::int32_t width,
                std::int32_t rows);

} // namespace bmp
