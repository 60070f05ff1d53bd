// The plain 24-bit file image of a true-colour BMP, decoded as plainly as it is described:
// each pixel read whole, each channel cut out by its mask and widened to 8 bits by writing
// its bits again and again until eight are filled. The oracle for the conversions' reading
// of 16-, 24- and 32-bit layouts.
#pragma once

#include <cstdint>
#include <vector>

namespace literal {

// The file must be a layout the conversions accept. A plain file (40-byte header, 24 bits,
// pixels at 54, no colour table) is its own plain image.
std::vector<std::uint8_t> Plain24Of(const std::vector<std::uint8_t>& file);

// A channel value of `bits` bits widened to eight: its bits written again and again.
std::uint8_t Widen(std::uint32_t value, int bits);

} // namespace literal
