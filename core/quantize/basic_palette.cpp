#include "core/quantize/basic_palette.h"

namespace quantize {

// basic_palette.inc is generated from win/res/basic_palette.bin at configure time.
const std::uint8_t kBasicPalette[3 * kBasicColours] = {
#include "core/quantize/basic_palette.inc"
};

} // namespace quantize
