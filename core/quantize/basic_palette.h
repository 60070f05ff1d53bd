// The 42 basic colours of error diffusion, 126 bytes of red, green, blue. The same bytes are
// the program's "PALETTE" resource 107 (win/res/basic_palette.bin); here they are compiled in.
#pragma once

#include <cstdint>

namespace quantize {

inline constexpr int kBasicColours = 42;
extern const std::uint8_t kBasicPalette[3 * kBasicColours];

} // namespace quantize
