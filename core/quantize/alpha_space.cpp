#include "core/quantize/alpha_space.h"

#include <algorithm>

namespace quantize {
namespace {

std::int64_t SumOf(const AlphaPoint& p) {
    return std::int64_t{p.x[0]} + p.x[1] + p.x[2] + p.x[3];
}

} // namespace

AlphaNearest::AlphaNearest(const std::vector<AlphaPoint>& entries) : entries_(entries) {
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        sorted_.push_back({SumOf(entries_[e]), static_cast<int>(e)});
    }
    std::sort(sorted_.begin(), sorted_.end(), [](const Sorted& a, const Sorted& b) {
        return a.sum != b.sum ? a.sum < b.sum : a.index < b.index;
    });
    alone_.assign(entries_.size(), INT64_MAX);
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        AlphaPoint from = entries_[e];
        from.weight = kAlphaScale;
        for (std::size_t f = 0; f < entries_.size(); ++f) {
            if (f != e) {
                alone_[e] = std::min(alone_[e], AlphaDistance(from, entries_[f]) / 4);
            }
        }
    }
}

int AlphaNearest::Find(const AlphaPoint& pixel, int hint) const {
    // Every coordinate's share of the distance is at least min(weight, 65025) times its square,
    // and the squares sum to at least a quarter of the square of the sums' difference.
    const std::int64_t scale = std::min(pixel.weight, kAlphaScale);
    const std::int64_t sum = SumOf(pixel);
    const auto beyond = [&](std::int64_t entrySum, std::int64_t best) {
        const std::int64_t d = entrySum - sum;
        return scale * d * d / 4 > best;
    };
    const auto start = std::lower_bound(sorted_.begin(), sorted_.end(), sum,
                                        [](const Sorted& s, std::int64_t v) { return s.sum < v; });
    std::int64_t best = INT64_MAX;
    int found = -1;
    if (hint >= 0 && static_cast<std::size_t>(hint) < entries_.size()) {
        best = AlphaDistance(pixel, entries_[static_cast<std::size_t>(hint)]);
        found = hint;
        // A lighter weight on the colours shrinks every distance from the hint's to at most
        // weight / 65025 of it, which the gap is cut down by (rounded down, to stay sure).
        if (best < alone_[static_cast<std::size_t>(hint)] / kAlphaScale * pixel.weight) {
            return hint;
        }
    }
    const auto consider = [&](const Sorted& s) {
        const std::int64_t d = AlphaDistance(pixel, entries_[static_cast<std::size_t>(s.index)]);
        if (d < best || (d == best && s.index < found)) {
            best = d;
            found = s.index;
        }
    };
    auto up = start;
    auto down = start;
    bool upOpen = up != sorted_.end(), downOpen = down != sorted_.begin();
    while (upOpen || downOpen) {
        if (upOpen) {
            if (found >= 0 && beyond(up->sum, best)) {
                upOpen = false;
            } else {
                consider(*up);
                upOpen = ++up != sorted_.end();
            }
        }
        if (downOpen) {
            if (found >= 0 && beyond((down - 1)->sum, best)) {
                downOpen = false;
            } else {
                consider(*--down);
                downOpen = down != sorted_.begin();
            }
        }
    }
    return found;
}

} // namespace quantize
