#include "core/quantize/refine.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// a's weights from the middle out, each summing to 256 over both sides: σ of A (that of the
// blur times √2) about 1, 1.4 and 2.1.
constexpr RefineFilter kRefineFilters[] = {
    {2, {96, 64, 16}},
    {4, {70, 56, 28, 8, 1}},
    {6, {48, 43, 31, 18, 8, 3, 1}},
};

// n / d rounded to the nearest, halves upward, for d > 0.
std::int64_t Rounded(std::int64_t n, std::int64_t d) {
    const std::int64_t t = 2 * n + d;
    return t >= 0 ? t / (2 * d) : -((-t + 2 * d - 1) / (2 * d));
}

} // namespace

const RefineFilter& RefineFilterOf(int filter) {
    return kRefineFilters[std::clamp(filter, 0, static_cast<int>(std::size(kRefineFilters)) - 1)];
}

// A thread's rows: the differences of one row with the reach on either side, the stripe's
// rows and the reach above and below it filtered along the rows, and F of the stripe's rows.
struct Refiner::Rows {
    std::vector<std::int32_t> difference;
    std::vector<std::int32_t> across;
    std::vector<std::int32_t> f;
};

std::uint64_t Refiner::RowBytes(std::uint64_t width, int threads) {
    const std::uint64_t reach = kMostReach;
    const std::uint64_t perThread =
        4 * 3 * ((width + 2 * reach) + (kStripeRows + 2 * reach) * width + kStripeRows * width);
    return static_cast<std::uint64_t>(std::max(threads, 1)) * perThread;
}

Refiner::Refiner(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                 const PaletteFacts& facts, int threads, const Effort& effort)
    : g_(geometry), facts_(facts), filter_(RefineFilterOf(effort.filter)),
      passes_(effort.refinePasses), lambda_(std::int64_t{effort.lambda} << 10),
      threads_(std::clamp(threads, 1, 2)) {
    const int first = facts.key ? 1 : 0;
    const int end = std::clamp(facts.entries, first + 1, 256);
    for (int e = 0; e < 256; ++e) {
        colours_[e][0] = palette[e].blue;
        colours_[e][1] = palette[e].green;
        colours_[e][2] = palette[e].red;
    }
    exact_.Take(palette, 0, facts.entries);
    indices_.assign(static_cast<std::size_t>(g_.padded * g_.rows), 0);
    nearest_ = std::make_unique<NearestColour>(palette, threads_, first, end);
    const std::size_t width = static_cast<std::size_t>(g_.width);
    const std::size_t reach = static_cast<std::size_t>(filter_.reach);
    for (int t = 0; t < threads_; ++t) {
        auto rows = std::make_unique<Rows>();
        rows->difference.assign(3 * (width + 2 * reach), 0);
        rows->across.assign(3 * width * (static_cast<std::size_t>(kStripeRows) + 2 * reach), 0);
        rows->f.assign(3 * width * static_cast<std::size_t>(kStripeRows), 0);
        rows_.push_back(std::move(rows));
    }
}

Refiner::~Refiner() = default;

void Refiner::Filter(const std::uint8_t* pixels, std::uint64_t top, std::uint64_t end, Rows& rows) {
    const int reach = filter_.reach;
    const std::int64_t width3 = 3 * static_cast<std::int64_t>(g_.width);
    int a[2 * kMostReach + 1];
    for (int i = -reach; i <= reach; ++i) {
        a[i + reach] = filter_.weights[std::abs(i)];
    }
    // Along the rows, for the stripe's rows and the reach above and below (0 outside).
    const std::int64_t from = static_cast<std::int64_t>(top) - reach;
    const std::int64_t to = static_cast<std::int64_t>(end) + reach;
    std::int32_t* d = rows.difference.data() + 3 * reach;
    for (std::int64_t y = from; y < to; ++y) {
        std::int32_t* across = rows.across.data() + (y - from) * width3;
        if (y < 0 || y >= static_cast<std::int64_t>(g_.rows)) {
            std::fill_n(across, width3, 0);
            continue;
        }
        const std::uint8_t* source = pixels + static_cast<std::uint64_t>(y) * g_.stride;
        const std::uint8_t* index = indices_.data() + static_cast<std::uint64_t>(y) * g_.padded;
        for (std::int64_t x = 0; x < static_cast<std::int64_t>(g_.width); ++x) {
            const int* colour = colours_[index[x]];
            for (int c = 0; c < 3; ++c) {
                d[3 * x + c] = colour[c] - source[3 * x + c];
            }
        }
        for (std::int64_t k = 0; k < width3; ++k) {
            std::int32_t sum = 0;
            for (int j = 0; j <= 2 * reach; ++j) {
                sum += a[j] * d[k + 3 * (j - reach)];
            }
            across[k] = sum;
        }
    }
    // Down the columns.
    for (std::uint64_t y = top; y < end; ++y) {
        std::int32_t* f = rows.f.data() + static_cast<std::int64_t>(y - top) * width3;
        const std::int32_t* across =
            rows.across.data() + static_cast<std::int64_t>(y - top) * width3;
        std::fill_n(f, width3, 0);
        for (int i = 0; i <= 2 * reach; ++i) {
            const std::int32_t* line = across + i * width3;
            const std::int32_t w = a[i];
            for (std::int64_t k = 0; k < width3; ++k) {
                f[k] += w * line[k];
            }
        }
    }
}

void Refiner::RefineStripe(const std::uint8_t* pixels, std::uint64_t stripe, Rows& rows,
                           const NearestColour::Reader& nearest) {
    const std::uint64_t top = stripe * kStripeRows;
    const std::uint64_t end = std::min(g_.rows, top + kStripeRows);
    Filter(pixels, top, end, rows);
    const int reach = filter_.reach;
    const std::int64_t width = static_cast<std::int64_t>(g_.width);
    const std::int64_t s = std::int64_t{filter_.weights[0]} * filter_.weights[0];
    const std::int64_t lambda = lambda_;
    for (std::uint64_t y = top; y < end; ++y) {
        const std::uint8_t* source = pixels + y * g_.stride;
        std::uint8_t* index = indices_.data() + y * g_.padded;
        std::int32_t* fRow = rows.f.data() + 3 * static_cast<std::int64_t>(y - top) * width;
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t* pixel = source + 3 * x;
            const int current = index[x];
            if ((facts_.key && current == 0) || (facts_.exactColours && exact_.Find(pixel) >= 0)) {
                continue; // held: the key colour, or a colour of the palette
            }
            const int* y0 = colours_[current];
            std::int64_t pull[3]; // F + λ d
            int wanted[3];
            for (int c = 0; c < 3; ++c) {
                pull[c] = fRow[3 * x + c] + lambda * (y0[c] - pixel[c]);
                wanted[c] = static_cast<int>(
                    std::clamp<std::int64_t>(y0[c] - Rounded(pull[c], s + lambda), 0, 255));
            }
            const int candidates[2] = {nearest.Find(NearestColour::Spread(0, wanted[0]) |
                                                    NearestColour::Spread(1, wanted[1]) |
                                                    NearestColour::Spread(2, wanted[2])),
                                       nearest.Find(NearestColour::Spread(0, pixel[0]) |
                                                    NearestColour::Spread(1, pixel[1]) |
                                                    NearestColour::Spread(2, pixel[2]))};
            std::int64_t best = 0;
            int chosen = current;
            for (int k = 0; k < 2; ++k) {
                const int* y1 = colours_[candidates[k]];
                std::int64_t change = 0;
                for (int c = 0; c < 3; ++c) {
                    const std::int64_t delta = y1[c] - y0[c];
                    change += delta * (2 * pull[c] + delta * (s + lambda));
                }
                if (change < best) {
                    best = change;
                    chosen = candidates[k];
                }
            }
            if (chosen == current) {
                continue;
            }
            index[x] = static_cast<std::uint8_t>(chosen);
            int delta[3];
            for (int c = 0; c < 3; ++c) {
                delta[c] = colours_[chosen][c] - y0[c];
            }
            const std::int64_t up = std::max<std::int64_t>(static_cast<std::int64_t>(y) - reach,
                                                           static_cast<std::int64_t>(top));
            const std::int64_t down = std::min<std::int64_t>(
                static_cast<std::int64_t>(y) + reach + 1, static_cast<std::int64_t>(end));
            const std::int64_t left = std::max<std::int64_t>(x - reach, 0);
            const std::int64_t right = std::min<std::int64_t>(x + reach + 1, width);
            for (std::int64_t yy = up; yy < down; ++yy) {
                const int wy = filter_.weights[std::abs(yy - static_cast<std::int64_t>(y))];
                std::int32_t* f = rows.f.data() + 3 * (yy - static_cast<std::int64_t>(top)) * width;
                for (std::int64_t xx = left; xx < right; ++xx) {
                    const int w = wy * filter_.weights[std::abs(xx - x)];
                    for (int c = 0; c < 3; ++c) {
                        f[3 * xx + c] += w * delta[c];
                    }
                }
            }
        }
    }
}

void Refiner::Run(const std::uint8_t* pixels, DiffusionObserver& observer) {
    const std::uint64_t stripes = (g_.rows + kStripeRows - 1) / kStripeRows;
    const std::int64_t positions = static_cast<std::int64_t>(g_.rows * g_.padded);
    const std::int64_t total = positions * (passes_ + 1);
    for (int pass = 0; pass < passes_; ++pass) {
        for (std::uint64_t half = 0; half < 2; ++half) {
            const std::int64_t halves = 2 * pass + static_cast<std::int64_t>(half);
            ReportProgress(observer, positions + halves * positions / 2,
                           positions + (halves + 1) * positions / 2, total);
            // Thread t takes every other stripe of this half.
            const auto work = [&](int t) {
                const NearestColour::Reader nearest(*nearest_, t);
                for (std::uint64_t stripe = half + 2 * static_cast<std::uint64_t>(t);
                     stripe < stripes; stripe += 2 * static_cast<std::uint64_t>(threads_)) {
                    RefineStripe(pixels, stripe, *rows_[static_cast<std::size_t>(t)], nearest);
                }
            };
            if (threads_ == 2 && RunSideBySide([&] { work(0); }, [&] { work(1); })) {
                continue;
            }
            threads_ = 1;
            work(0);
        }
    }
}

} // namespace quantize
