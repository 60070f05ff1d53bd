// Ordered dithering by a threshold pattern, written as plainly as it is described: the
// pattern's width the median of the entries' distances to their nearest other entry, each
// pixel's channels moved by its place's threshold as a share of that width, its entry found
// by a scan of the palette. The oracle for core/quantize/ordered_dither; slow.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/patterns.h"
#include "core/quantize/stages.h"

namespace literal {

// `pixels`: blue, green, red, width x rows of them with no padding, the top row first. Returns
// an index for each pixel, the top row first. A pixel of an entry's colour (below
// facts.entries) takes the lowest such entry; the others the nearest entry from facts.key ? 1
// : 0 on. Without a pattern, no pixel is moved.
std::vector<std::uint8_t> PatternDither(const std::vector<std::uint8_t>& pixels, int width,
                                        int rows, const quantize::DiffusionPalette& palette,
                                        const quantize::PaletteFacts& facts,
                                        const quantize::ThresholdPattern* pattern);

} // namespace literal
