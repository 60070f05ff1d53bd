#include "core/reduce/basic_palette.h"

namespace reduce {

// basic_palette.inc is generated from res/basic_palette.bin at configure time.
const std::uint8_t kBasicPalette[3 * kBasicColours] = {
#include "core/reduce/basic_palette.inc"
};

} // namespace reduce
