#include "core/quantize/dither.h"

#include <algorithm>
#include <thread>

namespace quantize {
namespace {

// Below this many pixels a second thread costs more than it saves: it can take milliseconds
// to get going.
constexpr std::uint64_t kTwoThreadPixels = 1u << 19;

} // namespace

int ThreadsFor(const bmp::TrueColourGeometry& g, int threads) {
    if (threads == 1 || threads == 2) {
        return threads;
    }
    // On a single processor the two threads would only take turns.
    const bool twoProcessors = std::thread::hardware_concurrency() != 1;
    return twoProcessors && g.rows > 1 && g.width * g.rows >= kTwoThreadPixels ? 2 : 1;
}

void ExactEntries::Take(const DiffusionPalette& palette, int first, int end) {
    entries_.Clear();
    for (int e = first; e < end; ++e) {
        const std::uint32_t colour = palette[e].Colour();
        const std::uint32_t place = entries_.PlaceOf(colour);
        if (!entries_.Holds(place)) {
            entries_.Put(place, colour, static_cast<std::uint8_t>(e));
        }
    }
}

} // namespace quantize
