#include "core/quantize/ordered_dither.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// Bayer's 8 x 8 threshold matrix: each of 0 to 63 once, spread as evenly as it can be.
constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

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
                             int threads, bool pattern)
    : g_(geometry), palette_(palette), facts_(facts), threads_(threads),
      nearest_(std::make_unique<NearestColour>(palette_, 2, facts.key ? 1 : 0, facts.entries)) {
    exact_.Take(palette_, 0, facts.entries);
    const int width = pattern ? PatternWidth(palette, facts) : 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            // From -63/128 to 63/128 of the width, rounded half away from zero.
            const int step = (2 * kBayer[y][x] + 1 - 64) * width;
            offsets_[y][x] = (step + (step < 0 ? -64 : 64)) / 128;
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
        const int* offsets = offsets_[y % 8];
        std::uint8_t* row = pixels + r * g_.stride;
        for (std::uint64_t x = 0; x < g_.width; ++x) {
            row[x] = static_cast<std::uint8_t>(EntryOf(row + 3 * x, offsets[x % 8], nearest));
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
