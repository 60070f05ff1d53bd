// The ditherings 誤差拡散（高画質） offers, as both front ends name them: the program by their
// number (the setting HQDither; the numbers of the first three are as they always were) and
// the command line by their names (--dither). Portable: no platform headers.
#pragma once

#include <string_view>

#include "core/quantize/kernels.h"
#include "core/quantize/patterns.h"
#include "core/quantize/stages.h"

namespace quantize {

struct Dithering {
    std::string_view name;
    DitherMethod method;
    KernelName kernel = KernelName::FloydSteinberg; // of DitherMethod::Kernel
    PatternName pattern = PatternName::Bayer8;      // of DitherMethod::Ordered
};

// By number.
inline constexpr Dithering kDitherings[] = {
    {"fs", DitherMethod::Kernel, KernelName::FloydSteinberg},
    {"bayer8", DitherMethod::Ordered, {}, PatternName::Bayer8},
    {"none", DitherMethod::Nearest},
    {"atkinson", DitherMethod::Kernel, KernelName::Atkinson},
    {"sierra", DitherMethod::Kernel, KernelName::Sierra},
    {"sierra2", DitherMethod::Kernel, KernelName::SierraTwoRow},
    {"sierra-lite", DitherMethod::Kernel, KernelName::SierraLite},
    {"jjn", DitherMethod::Kernel, KernelName::JarvisJudiceNinke},
    {"stucki", DitherMethod::Kernel, KernelName::Stucki},
    {"burkes", DitherMethod::Kernel, KernelName::Burkes},
    {"bayer2", DitherMethod::Ordered, {}, PatternName::Bayer2},
    {"bayer4", DitherMethod::Ordered, {}, PatternName::Bayer4},
    {"bayer16", DitherMethod::Ordered, {}, PatternName::Bayer16},
    {"blue-noise", DitherMethod::Ordered, {}, PatternName::BlueNoise},
};
inline constexpr int kDitheringCount = sizeof kDitherings / sizeof kDitherings[0];

// The dithering's stages of 誤差拡散（高画質）, and its kernel or pattern in `choices`.
inline Stages ApplyDithering(const Dithering& dithering, Choices& choices) {
    choices.kernel = dithering.kernel;
    choices.pattern = dithering.pattern;
    return HighQualityStages(dithering.method);
}

} // namespace quantize
