// The refinement of core/quantize/refine, written as plainly as it is described: passes of
// every even stripe of rows and then every odd one, each pixel visited in turn with F summed
// afresh over its whole window from the indices as they stand, the entries nearest to the
// wanted colour and to the source colour found by a scan of the palette. The oracle of
// quantize::Refiner; slow.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/effort.h"
#include "core/quantize/stages.h"

namespace literal {

// `pixels`: blue, green, red, width x rows of them with no padding; `indices` one a pixel.
// Returns the refined indices.
std::vector<std::uint8_t> Refine(const std::vector<std::uint8_t>& pixels, int width, int rows,
                                 std::vector<std::uint8_t> indices,
                                 const quantize::DiffusionPalette& palette,
                                 const quantize::PaletteFacts& facts,
                                 const quantize::Effort& effort);

} // namespace literal
