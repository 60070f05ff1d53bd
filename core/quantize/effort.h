// What each effort of 誤差拡散（高画質） does: one row of a table a level. Portable: no
// platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/stages.h"

namespace quantize {

// One effort's settings: how often the palette is fitted to the dithering, and the
// refinement after the dithering (refine.h).
struct Effort {
    int fitPasses;    // of KernelDither::Fit
    int fitShift;     // its trial sees at least 2^fitShift pixels (fit.h's FitBlock)
    int refinePasses; // 0: none
    int lambda;       // the weight of a pixel's own error beside the blurred one, in 64ths
    int filter;       // the blur's filter, of kRefineFilters
};

// The settings of an effort, held to kMinEffort..kMaxEffort.
const Effort& EffortOf(int effort);

} // namespace quantize
