#include "core/quantize/ordered_dither.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// The whole number nearest the square root of n.
int RoundedRoot(std::int64_t n) {
    std::int64_t r = 0;
    while ((r + 1) * (r + 1) <= n) {
        ++r;
    }
    return static_cast<int>(n - r * r > r ? r + 1 : r);
}

} // namespace

int PatternWidth(const DiffusionPalette& palette, const PaletteFacts& facts) {
    const int first = facts.key ? 1 : 0;
    std::vector<int> gaps;
    for (int e = first; e < facts.entries; ++e) {
        std::int64_t best = -1;
        for (int o = first; o < facts.entries; ++o) {
            std::int64_t d = 0;
            const int dr = palette[e].red - palette[o].red,
                      dg = palette[e].green - palette[o].green,
                      db = palette[e].blue - palette[o].blue;
            d += dr * dr + dg * dg + db * db;
            if (o != e && d > 0 && (best < 0 || d < best)) {
                best = d;
            }
        }
        if (best > 0) {
            gaps.push_back(RoundedRoot(best));
        }
    }
    if (gaps.empty()) {
        return 0;
    }
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2),
                     gaps.end());
    return gaps[gaps.size() / 2];
}

OrderedDither::OrderedDither(const bmp::TrueColourGeometry& geometry,
                             const DiffusionPalette& palette, const PaletteFacts& facts,
                             int threads, const ThresholdPattern* pattern)
    : g_(geometry), palette_(palette), facts_(facts), threads_(threads),
      side_(pattern != nullptr ? pattern->side : 1),
      offsets_(static_cast<std::size_t>(side_ * side_)),
      nearest_(std::make_unique<NearestColour>(palette_, 2, facts.key ? 1 : 0, facts.entries)) {
    exact_.Take(palette_, 0, facts.entries);
    if (pattern == nullptr) {
        return;
    }
    const int width = PatternWidth(palette, facts);
    const int levels = side_ * side_;
    for (int y = 0; y < side_; ++y) {
        for (int x = 0; x < side_; ++x) {
            // From -(levels - 1)/(2 levels) to (levels - 1)/(2 levels) of the width, rounded
            // half away from zero.
            const int step = (2 * pattern->At(x, y) + 1 - levels) * width;
            offsets_[static_cast<std::size_t>(y * side_ + x)] =
                (step + (step < 0 ? -levels : levels)) / (2 * levels);
        }
    }
}

int OrderedDither::EntryOf(const std::uint8_t* bgr, int offset,
                           const NearestColour::Reader& nearest) const {
    // Whatever the palette was made of, so that the answer depends on the colour and the
    // place alone.
    if (const int e = exact_.Find(bgr); e >= 0) {
        return e;
    }
    const auto moved = [offset](int v) { return std::clamp(v + offset, 0, 255); };
    return nearest.Find(NearestColour::Spread(0, moved(bgr[0])) |
                        NearestColour::Spread(1, moved(bgr[1])) |
                        NearestColour::Spread(2, moved(bgr[2])));
}

// Each row's indices go to the start of its own 24-bit row, which holds nothing else once
// they are written; Run moves them into place when all rows are done.
void OrderedDither::DitherRows(std::uint8_t* pixels, std::uint64_t begin, std::uint64_t end,
                               int shard, DiffusionObserver* observer) {
    const NearestColour::Reader nearest(*nearest_, shard);
    const std::int64_t total = static_cast<std::int64_t>(g_.rows * g_.padded);
    for (std::uint64_t r = begin; r < end; ++r) {
        if (observer != nullptr) {
            // With two threads this one reports for both: its rows stand for twice as many.
            const std::uint64_t scale = threads_ == 2 ? 2 : 1;
            ReportProgress(
                *observer, static_cast<std::int64_t>((r - begin) * scale * g_.padded),
                static_cast<std::int64_t>(std::min((r - begin + 1) * scale, g_.rows) * g_.padded),
                total);
        }
        // The pattern's place counts rows from the top of the picture.
        const std::uint64_t y = g_.topDown ? r : g_.rows - 1 - r;
        const std::uint64_t mask = static_cast<std::uint64_t>(side_ - 1);
        const int* offsets =
            &offsets_[static_cast<std::size_t>((y & mask) * static_cast<std::uint64_t>(side_))];
        std::uint8_t* row = pixels + r * g_.stride;
        for (std::uint64_t x = 0; x < g_.width; ++x) {
            row[x] = static_cast<std::uint8_t>(EntryOf(row + 3 * x, offsets[x & mask], nearest));
        }
    }
}

void OrderedDither::Run(std::uint8_t* pixels, DiffusionObserver& observer) {
    const std::uint64_t middle = (g_.rows + 1) / 2;
    if (threads_ != 2 || !RunSideBySide([&] { DitherRows(pixels, 0, middle, 0, &observer); },
                                        [&] { DitherRows(pixels, middle, g_.rows, 1, nullptr); })) {
        threads_ = 1;
        DitherRows(pixels, 0, g_.rows, 0, &observer);
    }
    for (std::uint64_t y = 0; y < g_.rows; ++y) {
        std::uint8_t* to = pixels + y * g_.padded;
        std::memmove(to, pixels + y * g_.stride, static_cast<std::size_t>(g_.width));
        std::memset(to + g_.width, 0, static_cast<std::size_t>(g_.padded - g_.width));
    }
}

} // namespace quantize
