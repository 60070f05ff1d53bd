// Error diffusion written as plainly as it is described: linear palette searches, a
// frequency table of one record per pixel position searched linearly, bubble passes and
// insertion, a linear nearest-colour search, and the in-place rewrite. The oracle for the
// fast engine; quadratic, so for small images only.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/error_diffusion.h"

namespace literal {

// Same outcomes and reports as quantize::DiffuseImage on plain 24-bit images (and refuses
// images of 8 bits or fewer the same way).
quantize::Outcome Diffuse(std::vector<std::uint8_t>& image, int fixedCount,
                          const std::uint8_t* fixedTable, const std::uint8_t* basic,
                          quantize::DiffusionObserver& observer);

// The nearest palette entry: smallest squared distance, lowest index on a tie.
int Nearest(const std::uint8_t* palette, int r, int g, int b);

} // namespace literal
