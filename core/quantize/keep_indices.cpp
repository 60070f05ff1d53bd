#include "core/quantize/keep_indices.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace quantize {
namespace {

int Distance(const PaletteEntry& a, const PaletteEntry& b) {
    return std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue);
}

} // namespace

KeptPalette KeepIndices(const DiffusionPalette& old, int oldCount, const DiffusionPalette& fresh,
                        int freshCount, int fixed) {
    oldCount = std::clamp(oldCount, 0, 256);
    freshCount = std::clamp(freshCount, 0, 256);
    fixed = std::clamp(fixed, 0, std::min(oldCount, freshCount));
    KeptPalette kept;
    std::copy(old.begin(), old.begin() + oldCount, kept.palette.begin());
    // Every pair within kKeepDistance, nearest first (then the lower old index, then the lower
    // new one), matched while both sides are free.
    std::vector<std::tuple<int, int, int>> pairs; // distance, old, new
    for (int o = fixed; o < oldCount; ++o) {
        for (int n = fixed; n < freshCount; ++n) {
            const int d =
                Distance(old[static_cast<std::size_t>(o)], fresh[static_cast<std::size_t>(n)]);
            if (d <= kKeepDistance) {
                pairs.emplace_back(d, o, n);
            }
        }
    }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> oldMatched(256, false), freshMatched(256, false);
    for (const auto& [d, o, n] : pairs) {
        if (!oldMatched[static_cast<std::size_t>(o)] &&
            !freshMatched[static_cast<std::size_t>(n)]) {
            oldMatched[static_cast<std::size_t>(o)] = freshMatched[static_cast<std::size_t>(n)] =
                true;
        }
    }
    for (int o = fixed; o < oldCount; ++o) {
        (oldMatched[static_cast<std::size_t>(o)] ? kept.kept : kept.freed).push_back(o);
    }
    // The new colours without a match, into the freed entries, then the spare ones.
    std::vector<int> room = kept.freed;
    for (int e = oldCount; e < 256; ++e) {
        room.push_back(e);
    }
    std::size_t next = 0;
    kept.count = oldCount;
    for (int n = fixed; n < freshCount && next < room.size(); ++n) {
        if (freshMatched[static_cast<std::size_t>(n)]) {
            continue;
        }
        const int e = room[next++];
        kept.palette[static_cast<std::size_t>(e)] = fresh[static_cast<std::size_t>(n)];
        kept.added.push_back(e);
        kept.count = std::max(kept.count, e + 1);
    }
    // Freed entries that no new colour took stay as they were: no pixel is mapped to them
    // unless the palette is used whole, and their colours keep a later --keep's indices apart.
    return kept;
}

} // namespace quantize
