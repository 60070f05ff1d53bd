#include "core/quantize/effort.h"

#include <algorithm>
#include <iterator>

#include "core/quantize/fit.h"

namespace quantize {
namespace {

// Measured on the bench's photographs and graphics (docs/quality.md): below 5 nothing makes
// the method faster at a price worth paying, so those levels are 5's. From 8 on the fit's
// trial sees four times the pixels.
constexpr Effort kEfforts[] = {
    {kFitPasses, kFitShift, 0, 0, 0},      {kFitPasses, kFitShift, 0, 0, 0},
    {kFitPasses, kFitShift, 0, 0, 0},      {kFitPasses, kFitShift, 0, 0, 0},
    {kFitPasses, kFitShift, 0, 0, 0},      {kFitPasses, kFitShift, 1, 19, 1},
    {kFitPasses, kFitShift, 3, 19, 1},     {kFitPasses, kFitShift + 2, 3, 19, 1},
    {kFitPasses, kFitShift + 2, 2, 32, 1}, {kFitPasses, kFitShift + 2, 3, 32, 1},
};
static_assert(std::size(kEfforts) == kMaxEffort - kMinEffort + 1);

} // namespace

const Effort& EffortOf(int effort) {
    return kEfforts[std::clamp(effort, kMinEffort, kMaxEffort) - kMinEffort];
}

} // namespace quantize
