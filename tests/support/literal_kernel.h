// Error diffusion by a kernel of weighted taps, written as plainly as it is described: the
// image in eight bands of rows, each dithered on its own from no error; every pixel's error
// added, in 1/divisor of a level, into a whole image of carried errors; each pixel's marks and
// the image's agreement with its palette worked out by their definitions; entries found by a
// scan of the palette; with `linear`, each pixel and entry taken as its intensities
// (linear_light.h) and the error carried as intensity, the entry still found by the levels. The
// oracle for the engine of core/quantize/kernel_dither; slow.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/error_share.h"
#include "core/quantize/kernels.h"
#include "core/quantize/stages.h"

namespace literal {

// `pixels`: blue, green, red, width x rows of them with no padding, rows as stored. Returns an
// index for each pixel. Pixels take entries below facts.entries (the key colour is not
// modelled); with facts.exactColours a pixel of an entry's colour takes the lowest such entry.
std::vector<std::uint8_t> KernelDiffuse(const std::vector<std::uint8_t>& pixels, int width,
                                        int rows, const quantize::DiffusionPalette& palette,
                                        const quantize::PaletteFacts& facts,
                                        const quantize::Kernel& kernel, int strength,
                                        quantize::Policy policy, bool linear = false);

} // namespace literal
