#include "core/quantize/effort.h"

#include <algorithm>
#include <iterator>

#include "core/quantize/fit.h"

namespace quantize {
namespace {

// Measured on the bench's photographs and graphics (docs/quality.md): below 5 nothing makes
// the method faster at a price worth paying, so those levels are 5's.
constexpr Effort kEfforts[] = {
    {kFitPasses, 0, 0, 0}, {kFitPasses, 0, 0, 0},  {kFitPasses, 0, 0, 0},  {kFitPasses, 0, 0, 0},
    {kFitPasses, 0, 0, 0}, {kFitPasses, 1, 19, 1}, {kFitPasses, 3, 19, 1}, {0, 3, 19, 1},
    {0, 2, 32, 1},         {0, 3, 32, 1},
};
static_assert(std::size(kEfforts) == kMaxEffort - kMinEffort + 1);

} // namespace

const Effort& EffortOf(int effort) {
    return kEfforts[std::clamp(effort, kMinEffort, kMaxEffort) - kMinEffort];
}

} // namespace quantize
