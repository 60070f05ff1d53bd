#include "core/reduce/adaptive_palette.h"

#include <algorithm>
#include <array>
#include <optional>
#include <memory>
#include <new>
#include <vector>

#include "core/reduce/colour_list.h"
#include "core/reduce/diffusion_palette.h"
#include "core/reduce/side_by_side.h"

namespace reduce {
namespace {

// The histogram keeps the top 5 bits of each channel, and in each bin the exact sums.
constexpr int kBinBits = 5;
constexpr std::uint32_t kBins = 1u << (3 * kBinBits);
// Refinement passes after the split into boxes.
constexpr int kPasses = 4;

std::uint32_t BinOf(const std::uint8_t* bgr) {
    constexpr int drop = 8 - kBinBits;
    return static_cast<std::uint32_t>(bgr[2] >> drop) << (2 * kBinBits) |
           static_cast<std::uint32_t>(bgr[1] >> drop) << kBinBits | (bgr[0] >> drop);
}

// The pixels of a histogram bin: how many, the sums of their red, green and blue, and once
// the counting is done, their mean colour.
struct Bin {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {};
    int mean[3] = {};
    std::uint32_t place = 0; // in the histogram, which tells bins of equal means apart
    int Mean(int c) const { return mean[c]; }
    void SetMean() {
        for (int c = 0; c < 3; ++c) {
            mean[c] = static_cast<int>((sum[c] + count / 2) / count);
        }
    }
};

// Bins [begin, end) of the bin list, and what the split of boxes needs to know of them.
struct Box {
    std::size_t begin, end;
    double error; // the squared distance of its pixels to their mean colour
};

// The squared distance of the bins' pixels to their mean colour, from the bins' means, and
// per channel in `channels`.
double ErrorOf(const Bin* bins, std::size_t n, double channels[3] = nullptr) {
    double total = 0;
    std::uint64_t count = 0;
    double sum[3] = {}, squares[3] = {};
    for (std::size_t i = 0; i < n; ++i) {
        count += bins[i].count;
        for (int c = 0; c < 3; ++c) {
            const double mean = bins[i].Mean(c);
            sum[c] += static_cast<double>(bins[i].sum[c]);
            squares[c] += static_cast<double>(bins[i].count) * mean * mean;
        }
    }
    for (int c = 0; c < 3; ++c) {
        const double e = squares[c] - sum[c] * sum[c] / static_cast<double>(count);
        total += e;
        if (channels != nullptr) {
            channels[c] = e;
        }
    }
    return total;
}

// Splits the box along its channel of most error (or the next, where all its bins share
// one level of that channel), between the two levels where the halves' error is least: the
// bins up to that level come first, in their order, and the second half is returned.
// Nothing when every channel of the box has a single level.
std::optional<Box> Split(std::vector<Bin>& bins, Box& box) {
    double channels[3];
    ErrorOf(&bins[box.begin], box.end - box.begin, channels);
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return channels[a] > channels[b]; });
    for (const int c : order) {
        // The box's pixels at each level of the channel, and their sums.
        struct Level {
            double count = 0, sum[3] = {}, squares[3] = {};
        };
        std::vector<Level> levels(256);
        for (std::size_t b = box.begin; b < box.end; ++b) {
            Level& level = levels[static_cast<std::size_t>(bins[b].mean[c])];
            const double count = static_cast<double>(bins[b].count);
            level.count += count;
            for (int k = 0; k < 3; ++k) {
                level.sum[k] += static_cast<double>(bins[b].sum[k]);
                level.squares[k] += count * bins[b].mean[k] * bins[b].mean[k];
            }
        }
        Level all;
        for (const Level& level : levels) {
            all.count += level.count;
            for (int k = 0; k < 3; ++k) {
                all.sum[k] += level.sum[k];
                all.squares[k] += level.squares[k];
            }
        }
        const auto error = [](const Level& l) {
            double e = 0;
            for (int k = 0; k < 3; ++k) {
                e += l.squares[k] - l.sum[k] * l.sum[k] / l.count;
            }
            return e;
        };
        Level first;
        int best = -1;
        double bestError = 0, firstError = 0, secondError = 0;
        for (int t = 0; t < 255; ++t) {
            if (levels[t].count == 0) {
                continue;
            }
            first.count += levels[t].count;
            Level second;
            second.count = all.count - first.count;
            for (int k = 0; k < 3; ++k) {
                first.sum[k] += levels[t].sum[k];
                first.squares[k] += levels[t].squares[k];
                second.sum[k] = all.sum[k] - first.sum[k];
                second.squares[k] = all.squares[k] - first.squares[k];
            }
            if (second.count == 0) {
                break;
            }
            const double a = error(first), b = error(second);
            if (best < 0 || a + b < bestError) {
                best = t;
                bestError = a + b;
                firstError = a;
                secondError = b;
            }
        }
        if (best < 0) {
            continue; // one level only
        }
        const auto middle =
            std::stable_partition(bins.begin() + box.begin, bins.begin() + box.end,
                                  [c, best](const Bin& bin) { return bin.mean[c] <= best; });
        const std::size_t cut = static_cast<std::size_t>(middle - bins.begin());
        Box second{cut, box.end, secondError};
        box.end = cut;
        box.error = firstError;
        return second;
    }
    return std::nullopt;
}

void SetEntry(DiffusionPalette& palette, std::size_t e, int red, int green, int blue) {
    palette[4 * e] = static_cast<std::uint8_t>(red);
    palette[4 * e + 1] = static_cast<std::uint8_t>(green);
    palette[4 * e + 2] = static_cast<std::uint8_t>(blue);
}

// The nearest palette entry (smallest squared distance, lowest index on a tie), found by
// searching outward in green from the entries sorted by green: the search stops on each side
// where green alone is farther than the best so far. Cheap to set up, for a few questions.
class GreenOrder {
  public:
    explicit GreenOrder(const DiffusionPalette& palette) {
        for (int e = 0; e < 256; ++e) {
            entries_[e] = {palette[4 * e], palette[4 * e + 1], palette[4 * e + 2], e};
        }
        std::sort(entries_, entries_ + 256, [](const Entry& a, const Entry& b) {
            return a.green != b.green ? a.green < b.green : a.index < b.index;
        });
    }
    int Find(int red, int green, int blue) const {
        const Entry* start = std::lower_bound(entries_, entries_ + 256, green,
                                              [](const Entry& e, int g) { return e.green < g; });
        int best = 1 << 30, bestIndex = 256;
        const auto consider = [&](const Entry& e) {
            const int dr = e.red - red, dg = e.green - green, db = e.blue - blue;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best || (d == best && e.index < bestIndex)) {
                best = d;
                bestIndex = e.index;
            }
        };
        for (const Entry* e = start;
             e < entries_ + 256 && (e->green - green) * (e->green - green) <= best; ++e) {
            consider(*e);
        }
        for (const Entry* e = start;
             e > entries_ && (green - e[-1].green) * (green - e[-1].green) <= best; --e) {
            consider(e[-1]);
        }
        return bestIndex;
    }

  private:
    struct Entry {
        int red, green, blue, index;
    };
    Entry entries_[256];
};

// Moves each free entry to the mean colour of the bins nearest to it, kPasses times.
void Refine(DiffusionPalette& palette, int fixedCount, int used, const std::vector<Bin>& bins,
            DiffusionObserver& observer) {
    for (int pass = 0; pass < kPasses; ++pass) {
        observer.Progress(100 * (pass + 1), 100 * (kPasses + 1));
        const GreenOrder nearest(palette);
        std::vector<Bin> clusters(256, Bin{});
        for (const Bin& bin : bins) {
            Bin& cluster = clusters[nearest.Find(bin.mean[0], bin.mean[1], bin.mean[2])];
            cluster.count += bin.count;
            for (int c = 0; c < 3; ++c) {
                cluster.sum[c] += bin.sum[c];
            }
        }
        for (int e = fixedCount; e < used; ++e) {
            if (clusters[e].count != 0) {
                clusters[e].SetMean();
                SetEntry(palette, e, clusters[e].mean[0], clusters[e].mean[1], clusters[e].mean[2]);
            }
        }
    }
}

// One part of the image counted: for each bin the pixels and the sums of their blue, green
// and red, and its first colours while there are few.
struct Count {
    std::vector<std::array<std::uint64_t, 4>> bins =
        std::vector<std::array<std::uint64_t, 4>>(kBins);
    ColourList first;
    bool few = true;

    void Add(const std::uint8_t* p, std::uint64_t weight) {
        std::uint64_t* bin = bins[BinOf(p)].data();
        bin[0] += weight;
        bin[1] += weight * p[0];
        bin[2] += weight * p[1];
        bin[3] += weight * p[2];
    }

    void Rows(SourceRows& rows, const TrueColourGeometry& g, std::uint64_t begin, std::uint64_t end,
              DiffusionObserver* observer, std::uint64_t rowsPerRow) {
        const std::int64_t positions = static_cast<std::int64_t>(g.padded * g.rows);
        for (std::uint64_t y = begin; y < end; ++y) {
            if (observer != nullptr) {
                const std::uint64_t from = std::min(y * rowsPerRow, g.rows);
                const std::uint64_t to = std::min((y + 1) * rowsPerRow, g.rows);
                ReportProgress(*observer, static_cast<std::int64_t>(from * g.padded),
                               static_cast<std::int64_t>(to * g.padded), positions);
            }
            if (few) {
                const std::uint8_t* p = rows.Row(y);
                for (std::uint64_t x = 0; x < g.width; ++x, p += 3) {
                    Add(p, 1);
                    if (few && first.FindOrAdd(PixelKey(p)) < 0) {
                        few = false;
                    }
                }
            } else if (y % 2 == 0) {
                // Once the colours are many, every other pixel of every other row stands for
                // four: the palette comes out as good, and the counting is four times quicker.
                const std::uint8_t* p = rows.Row(y);
                for (std::uint64_t x = 0; x < g.width; x += 2, p += 6) {
                    Add(p, 4);
                }
            }
        }
    }
};

} // namespace

bool BuildAdaptivePalette(DiffusionPalette& palette, const GroupSizes& sizes, SourceRows& rows,
                          const TrueColourGeometry& g, int threads,
                          DiffusionObserver& observer) try {
    const int firstFree = sizes.fixed + sizes.basic;

    // The upper and the lower half of the rows are counted each on its own, so that the
    // counts are the same with one thread or two; with two the upper half reports for both.
    auto counts = std::make_unique<Count[]>(2);
    const std::uint64_t middle = (g.rows + 1) / 2;
    SourceRows lowerRows = rows;
    if (threads != 2 ||
        !RunSideBySide([&] { counts[0].Rows(rows, g, 0, middle, &observer, 2); },
                       [&] { counts[1].Rows(lowerRows, g, middle, g.rows, nullptr, 0); })) {
        counts[0].Rows(rows, g, 0, middle, &observer, 1);
        counts[1].Rows(rows, g, middle, g.rows, &observer, 1);
    }
    // The colours of the lower half that the upper half lacks follow the upper half's own,
    // which keeps the order in which they first occur.
    ColourList& first = counts[0].first;
    bool few = counts[0].few && counts[1].few;
    for (int k = 0; few && k < counts[1].first.count(); ++k) {
        few = first.FindOrAdd(counts[1].first.colour(k)) >= 0;
    }
    observer.Phase(3);
    observer.Progress(0, 100 * (kPasses + 1));
    if (few && first.count() <= sizes.free) {
        for (int k = 0; k < first.count(); ++k) {
            const std::uint32_t c = first.colour(k);
            SetEntry(palette, firstFree + k, c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
        }
        return true;
    }
    std::vector<Bin> bins;
    for (std::uint32_t place = 0; place < kBins; ++place) {
        const std::uint64_t* upper = counts[0].bins[place].data();
        const std::uint64_t* lower = counts[1].bins[place].data();
        if (upper[0] + lower[0] != 0) {
            Bin bin;
            bin.count = upper[0] + lower[0];
            for (int c = 0; c < 3; ++c) {
                bin.sum[c] = upper[3 - c] + lower[3 - c];
            }
            bin.SetMean();
            bin.place = place;
            bins.push_back(bin);
        }
    }
    counts.reset();
    // Boxes of least error: the box whose pixels lie farthest from their mean is split next.
    std::vector<Box> boxes;
    boxes.reserve(static_cast<std::size_t>(sizes.free));
    if (sizes.free > 0 && !bins.empty()) {
        boxes.push_back({0, bins.size(), ErrorOf(bins.data(), bins.size())});
    }
    while (boxes.size() < static_cast<std::size_t>(sizes.free)) {
        std::size_t worst = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin > 1 && boxes[i].error >= 0 &&
                (worst == boxes.size() || boxes[i].error > boxes[worst].error)) {
                worst = i;
            }
        }
        if (worst == boxes.size()) {
            break; // no box can be split
        }
        if (const auto second = Split(bins, boxes[worst])) {
            boxes.push_back(*second);
        } else {
            boxes[worst].error = -1; // all its bins share one colour of means
        }
    }
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        Bin mean{0, {0, 0, 0}, {0, 0, 0}};
        for (std::size_t b = boxes[i].begin; b < boxes[i].end; ++b) {
            mean.count += bins[b].count;
            for (int c = 0; c < 3; ++c) {
                mean.sum[c] += bins[b].sum[c];
            }
        }
        mean.SetMean();
        SetEntry(palette, firstFree + i, mean.Mean(0), mean.Mean(1), mean.Mean(2));
    }
    Refine(palette, firstFree, firstFree + static_cast<int>(boxes.size()), bins, observer);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace reduce
