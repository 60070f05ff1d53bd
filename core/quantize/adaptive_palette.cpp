#include "core/quantize/adaptive_palette.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "core/quantize/colour_list.h"
#include "core/quantize/colour_table.h"
#include "core/quantize/group_palette.h"
#include "core/quantize/side_by_side.h"

namespace quantize {
namespace {

// Red, green and blue errors count 1, 2 and 1: the eye, and the luminance of the image, are
// most sensitive to green.
constexpr std::uint64_t kWeight[3] = {1, 2, 1};

// The histogram keeps the top 5 bits of each channel, and in each bin the exact sums of the
// values and of their squares. A bin that needs more than one entry (the colours of a sky or
// a smooth gradient lie that close together) is counted again colour by colour.
constexpr int kBinBits = 5;
constexpr int kDropBits = 8 - kBinBits;
constexpr std::uint32_t kBins = 1u << (3 * kBinBits);
constexpr std::uint32_t kColoursPerBin = 1u << (3 * kDropBits);
// Countings of the image: the first, and at most two more for bins that want more entries.
constexpr int kCountings = 3;
// Refinement passes after the split into boxes.
constexpr int kPasses = 4;

std::uint32_t BinOf(const std::uint8_t* bgr) {
    return static_cast<std::uint32_t>(bgr[2] >> kDropBits) << (2 * kBinBits) |
           static_cast<std::uint32_t>(bgr[1] >> kDropBits) << kBinBits | (bgr[0] >> kDropBits);
}

// The place of a colour in its bin: the low bits of red, green and blue.
std::uint32_t InBinOf(const std::uint8_t* bgr) {
    constexpr std::uint32_t low = (1u << kDropBits) - 1;
    return (bgr[2] & low) << (2 * kDropBits) | (bgr[1] & low) << kDropBits | (bgr[0] & low);
}

// Pixels: how many, and for red, green and blue the sums of their values and of the squares.
struct Stats {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {};
    std::uint64_t squares[3] = {};

    void Add(const Stats& other) {
        count += other.count;
        for (int c = 0; c < 3; ++c) {
            sum[c] += other.sum[c];
            squares[c] += other.squares[c];
        }
    }
    void Remove(const Stats& other) {
        count -= other.count;
        for (int c = 0; c < 3; ++c) {
            sum[c] -= other.sum[c];
            squares[c] -= other.squares[c];
        }
    }
    // `weight` pixels of one colour.
    void AddColour(const int rgb[3], std::uint64_t weight) {
        count += weight;
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t v = static_cast<std::uint64_t>(rgb[c]);
            sum[c] += weight * v;
            squares[c] += weight * v * v;
        }
    }
    // The mean of channel c rounded to a whole level; the pixels must be some.
    int Mean(int c) const { return static_cast<int>((sum[c] + count / 2) / count); }
    // The squared distance of the pixels to the mean colour rounded to whole levels, in
    // channel c: a sum of squares of whole numbers, so never negative, and at most a quarter
    // a pixel more than the distance to the exact mean. The terms may wrap around in
    // unsigned arithmetic; their sum does not.
    std::uint64_t Error(int c) const {
        if (count == 0) {
            return 0;
        }
        const std::uint64_t m = static_cast<std::uint64_t>(Mean(c));
        return squares[c] - 2 * m * sum[c] + m * m * count;
    }
    std::uint64_t Error() const {
        return kWeight[0] * Error(0) + kWeight[1] * Error(1) + kWeight[2] * Error(2);
    }
};

// Channel `shift` (2 red, 1 green, 0 blue) of the colour at place k of a bin: BinOf and
// InBinOf the other way round.
int ColourOf(std::uint32_t bin, std::uint32_t k, int shift) {
    const std::uint32_t high = (bin >> (shift * kBinBits)) & ((1u << kBinBits) - 1);
    const std::uint32_t low = (k >> (shift * kDropBits)) & ((1u << kDropBits) - 1);
    return static_cast<int>(high << kDropBits | low);
}

// What the split works on: a histogram bin, or one colour of a bin counted colour by colour.
struct Item {
    Stats stats;
    int mean[3];
    std::int32_t bin; // the histogram bin it stands for, or -1 for a single colour
};

// Items [begin, end) of the item list, and the squared distance of their pixels to their mean.
struct Box {
    std::size_t begin, end;
    std::uint64_t error;
};

Stats StatsOf(const std::vector<Item>& items, const Box& box) {
    Stats all;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        all.Add(items[i].stats);
    }
    return all;
}

// Splits the box along its channel of most error (or the next, where all its items share
// one level of that channel), between the two levels where the halves' error is least: the
// items up to that level come first, in their order, and the second half is returned.
// Nothing when every channel of the box has a single level.
std::optional<Box> Split(std::vector<Item>& items, Box& box) {
    const Stats all = StatsOf(items, box);
    const std::uint64_t channels[3] = {all.Error(0), all.Error(1), all.Error(2)};
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return channels[a] > channels[b]; });
    std::vector<Stats> levels(256);
    for (const int c : order) {
        std::fill(levels.begin(), levels.end(), Stats{});
        for (std::size_t i = box.begin; i < box.end; ++i) {
            levels[static_cast<std::size_t>(items[i].mean[c])].Add(items[i].stats);
        }
        Stats first;
        int best = -1;
        std::uint64_t bestError = 0, firstError = 0, secondError = 0;
        for (int t = 0; t < 255; ++t) {
            if (levels[t].count == 0) {
                continue;
            }
            first.Add(levels[t]);
            Stats second = all;
            second.Remove(first);
            if (second.count == 0) {
                break;
            }
            const std::uint64_t a = first.Error(), b = second.Error();
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
            std::stable_partition(items.begin() + box.begin, items.begin() + box.end,
                                  [c, best](const Item& item) { return item.mean[c] <= best; });
        const std::size_t cut = static_cast<std::size_t>(middle - items.begin());
        Box second{cut, box.end, secondError};
        box.end = cut;
        box.error = firstError;
        return second;
    }
    return std::nullopt;
}

// Boxes of least error, at most `wanted`: the box whose pixels lie farthest from their mean
// is split next. A box that is one bin cannot be split; when it is the one that would be,
// its bin is added to `crowded` (where that is given), to be counted colour by colour.
std::vector<Box> Divide(std::vector<Item>& items, std::size_t wanted,
                        std::vector<std::uint32_t>* crowded) {
    std::vector<Box> boxes;
    boxes.reserve(wanted);
    if (wanted > 0 && !items.empty()) {
        boxes.push_back({0, items.size(), StatsOf(items, {0, items.size(), 0}).Error()});
    }
    while (boxes.size() < wanted) {
        std::size_t worst = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const bool single = boxes[i].end - boxes[i].begin == 1;
            const bool candidate =
                boxes[i].error > 0 &&
                (!single || (crowded != nullptr && items[boxes[i].begin].bin >= 0));
            if (candidate && (worst == boxes.size() || boxes[i].error > boxes[worst].error)) {
                worst = i;
            }
        }
        if (worst == boxes.size()) {
            break; // no box can be split
        }
        Box& box = boxes[worst];
        if (box.end - box.begin == 1) {
            crowded->push_back(static_cast<std::uint32_t>(items[box.begin].bin));
            box.error = 0;
        } else if (const auto second = Split(items, box)) {
            boxes.push_back(*second);
        } else {
            box.error = 0; // all its items share one colour of means
        }
    }
    return boxes;
}

void SetEntry(DiffusionPalette& palette, std::size_t e, int red, int green, int blue) {
    palette[e].red = static_cast<std::uint8_t>(red);
    palette[e].green = static_cast<std::uint8_t>(green);
    palette[e].blue = static_cast<std::uint8_t>(blue);
}

// The nearest of the entries pixels may take (smallest squared distance, lowest index on a
// tie), found by searching outward in green from the entries sorted by green: the search stops
// on each side where green alone is farther than the best so far. Cheap to set up, for a few
// questions.
class GreenOrder {
  public:
    GreenOrder(const DiffusionPalette& palette, const PaletteFacts& facts)
        : count_(facts.entries - (facts.key ? 1 : 0)) {
        for (int e = facts.key ? 1 : 0, k = 0; e < facts.entries; ++e, ++k) {
            entries_[k] = {palette[e].red, palette[e].green, palette[e].blue, e};
        }
        std::sort(entries_, entries_ + count_, [](const Entry& a, const Entry& b) {
            return a.green != b.green ? a.green < b.green : a.index < b.index;
        });
    }
    // The entry, and in `distance` its squared distance.
    int Find(const int rgb[3], int* distance = nullptr) const {
        const int red = rgb[0], green = rgb[1], blue = rgb[2];
        const Entry* const end = entries_ + count_;
        const Entry* start = std::lower_bound(entries_, end, green,
                                              [](const Entry& e, int g) { return e.green < g; });
        int best = 1 << 30, bestIndex = 256;
        const auto consider = [&](const Entry& e) {
            const int dr = e.red - red, dg = e.green - green, db = e.blue - blue;
            const int d = static_cast<int>(kWeight[0]) * dr * dr +
                          static_cast<int>(kWeight[1]) * dg * dg +
                          static_cast<int>(kWeight[2]) * db * db;
            if (d < best || (d == best && e.index < bestIndex)) {
                best = d;
                bestIndex = e.index;
            }
        };
        const int wg = static_cast<int>(kWeight[1]);
        for (const Entry* e = start;
             e < end && wg * (e->green - green) * (e->green - green) <= best; ++e) {
            consider(*e);
        }
        for (const Entry* e = start;
             e > entries_ && wg * (green - e[-1].green) * (green - e[-1].green) <= best; --e) {
            consider(e[-1]);
        }
        if (distance != nullptr) {
            *distance = best;
        }
        return bestIndex;
    }

  private:
    struct Entry {
        int red, green, blue, index;
    };
    Entry entries_[256];
    int count_;
};

// Moves each free entry to the mean colour of the items nearest to it, kPasses times.
void Refine(DiffusionPalette& palette, int firstFree, int used, const std::vector<Item>& items,
            const PaletteFacts& facts, DiffusionObserver& observer) {
    for (int pass = 0; pass < kPasses; ++pass) {
        observer.Progress(100 * (pass + 1), 100 * (kPasses + 1));
        const GreenOrder nearest(palette, facts);
        std::vector<Stats> clusters(256);
        for (const Item& item : items) {
            clusters[static_cast<std::size_t>(nearest.Find(item.mean))].Add(item.stats);
        }
        for (int e = firstFree; e < used; ++e) {
            const Stats& cluster = clusters[static_cast<std::size_t>(e)];
            if (cluster.count != 0) {
                SetEntry(palette, e, cluster.Mean(0), cluster.Mean(1), cluster.Mean(2));
            }
        }
    }
}

bool SameColour(const DiffusionPalette& palette, int a, int b) {
    return palette[a].SameColour(palette[b]);
}

// A free entry that repeats an earlier entry would be wasted: it takes instead the colour of
// the image that its entries serve worst (most pixels times squared distance) among those
// the palette lacks.
void MakeDistinct(DiffusionPalette& palette, int firstFree, int used,
                  const std::vector<Item>& items, const PaletteFacts& facts) {
    for (int e = firstFree; e < used; ++e) {
        bool repeated = false;
        for (int j = 0; j < e && !repeated; ++j) {
            repeated = SameColour(palette, e, j);
        }
        if (!repeated) {
            continue;
        }
        SetEntry(palette, e, 0, 0, 0);
        const GreenOrder nearest(palette, facts);
        const Item* worst = nullptr;
        std::uint64_t worstCost = 0;
        for (const Item& item : items) {
            int distance = 0;
            nearest.Find(item.mean, &distance);
            const std::uint64_t cost = item.stats.count * static_cast<std::uint64_t>(distance);
            bool present = false;
            for (int j = 0; j < used && !present && cost > worstCost; ++j) {
                present = j != e && palette[j].red == item.mean[0] &&
                          palette[j].green == item.mean[1] && palette[j].blue == item.mean[2];
            }
            if (!present && cost > worstCost) {
                worst = &item;
                worstCost = cost;
            }
        }
        if (worst == nullptr) {
            return; // every colour of the image is in the palette
        }
        SetEntry(palette, e, worst->mean[0], worst->mean[1], worst->mean[2]);
    }
}

// How much a pixel counts in the palette: where it is like its neighbours (a smooth area, where
// any error shows) up to nine times as much as in busy texture, by how far the channel that
// differs most differs from the left and the right neighbour together, up to kBusy levels.
constexpr int kBusy = 8;
constexpr int kSmoothWeight = 8;
// A colour whose flat areas (runs of at least kFlatRun pixels along a row) cover a
// kFlatShare-th part of an image of few colours keeps an entry of its own, exactly, and in any
// other image a kWideFlatShare-th part (a panel of a screenshot that holds a photograph), for
// up to kWideFlatColours colours: smooth photographs have short flat runs too. The shares and
// the number are for 256 free entries, and fewer ask more (FlatShare, WideFlatColours):
// otherwise the flat rows of a gradient that runs down the image take the few entries.
constexpr std::uint64_t kFlatRun = 16;
constexpr std::uint64_t kFlatShare = 4096;
constexpr std::uint64_t kWideFlatShare = 256;
constexpr std::size_t kWideFlatColours = 16;

std::size_t WideFlatColours(std::size_t free) {
    return std::max<std::size_t>(1, free * kWideFlatColours / 256);
}

// The share of the image (1/share) a colour's flat areas must cover to keep an entry, with
// `free` entries to share out: with fewer, each entry stands for more of the image, and a
// colour must cover as much more (with 64 entries 1/1024, with 16 1/256 of an image of few
// colours). Otherwise the long runs of a slow gradient take the entries it needs.
std::uint64_t FlatShare(std::uint64_t share, std::size_t free) {
    return std::max<std::uint64_t>(1, share * free / 256);
}

// And a colour kept that way lies at least this far (red, green and blue differences added)
// from every colour kept before it: with few entries, the flat areas of a few neighbouring
// greys would otherwise take them all (2 with 256 free entries, 8 with 64, 32 with 16).
int FlatApart(std::size_t free) {
    return static_cast<int>(512 / std::max<std::size_t>(free, 1));
}

// The weights of a row's pixels, worked out for the whole row at once, sixteen channel values
// at a time: Of(row, width)[3 * x] is pixel x's.
class RowWeights {
  public:
    const std::uint8_t* Of(const std::uint8_t* row, std::uint64_t width) {
        const std::size_t n = 3 * static_cast<std::size_t>(width); // a row is in memory
        const std::size_t padded = (n + kBytes - 1) / kBytes * kBytes + kBytes;
        busy_.resize(padded);
        weights_.resize(padded);
        // How far each channel value differs from the left and from the right neighbour's,
        // each capped at kBusy (a sum of kBusy or more counts the same); the first and the
        // last pixel have no neighbour on one side.
        const Bytes cap = Bytes{} + static_cast<std::uint8_t>(kBusy);
        std::size_t i = 0;
        const auto one = [&](std::size_t at) {
            const int v = row[at];
            const int l = at >= 3 ? row[at - 3] : v;
            const int r = at + 3 < n ? row[at + 3] : v;
            busy_[at] = static_cast<std::uint8_t>(std::min(std::abs(v - l), kBusy) +
                                                  std::min(std::abs(v - r), kBusy));
        };
        for (; i < std::min<std::size_t>(3, n); ++i) {
            one(i);
        }
        for (; i + 3 + kBytes <= n; i += kBytes) {
            const Bytes v = Load(row + i);
            Store(busy_.data() + i,
                  Min(Differ(v, Load(row + i - 3)), cap) + Min(Differ(v, Load(row + i + 3)), cap));
        }
        for (; i < n; ++i) {
            one(i);
        }
        // A pixel's weight, at its first channel: one more for each level below kBusy by
        // which its busiest channel differs.
        static_assert(kSmoothWeight == kBusy, "one more for each level below kBusy");
        const Bytes most = Bytes{} + static_cast<std::uint8_t>(kBusy + 1);
        for (i = 0; i < n; i += kBytes) {
            const std::uint8_t* b = busy_.data() + i;
            const Bytes busy = Max(Load(b), Max(Load(b + 1), Load(b + 2)));
            Store(weights_.data() + i, most - Min(busy, cap));
        }
        return weights_.data();
    }

  private:
    using Bytes = std::uint8_t __attribute__((vector_size(16)));
    static constexpr std::size_t kBytes = sizeof(Bytes);
    static Bytes Load(const std::uint8_t* from) {
        Bytes v;
        std::memcpy(&v, from, sizeof v);
        return v;
    }
    static void Store(std::uint8_t* to, Bytes v) { std::memcpy(to, &v, sizeof v); }
    static Bytes Min(Bytes a, Bytes b) { return a < b ? a : b; }
    static Bytes Max(Bytes a, Bytes b) { return a > b ? a : b; }
    static Bytes Differ(Bytes a, Bytes b) { return Max(a, b) - Min(a, b); }
    std::vector<std::uint8_t> busy_, weights_;
};

// The pixels a counting reads, visit(pixel, weight): every pixel of the rows before
// `sampledFrom`; from there on, once the colours are many, every other pixel of every other
// row, standing for four: the palette comes out as good, and the counting is four times
// quicker. The weight includes the pixel's own.
template <typename Visit>
void VisitCountedPixels(bmp::SourceRows& rows, std::uint64_t begin, std::uint64_t end,
                        std::uint64_t sampledFrom, Visit visit) {
    RowWeights weights;
    for (std::uint64_t y = begin; y < end; ++y) {
        if (y >= sampledFrom && y % 2 != 0) {
            continue;
        }
        const std::uint64_t width = rows.Width(y);
        const std::uint8_t* p = rows.Row(y);
        const std::uint8_t* w = weights.Of(p, width);
        if (y < sampledFrom) {
            for (std::uint64_t x = 0; x < width; ++x, p += 3) {
                visit(p, w[3 * x]);
            }
        } else {
            for (std::uint64_t x = 0; x < width; x += 2, p += 6) {
                visit(p, 4 * std::uint64_t{w[3 * x]});
            }
        }
    }
}

// A count for each of up to kMaxColours colours; full once one more would be needed.
class ColourCounts {
  public:
    static constexpr std::uint32_t kMaxColours = 1u << 12;

    bool full() const { return full_; }
    void Add(const std::uint8_t* p, std::uint64_t n) {
        const std::uint32_t colour = PixelKey(p);
        const std::uint32_t place = counts_->PlaceOf(colour);
        if (!counts_->Holds(place)) {
            if (used_ == kMaxColours) {
                full_ = true;
                return;
            }
            counts_->Put(place, colour, 0);
            ++used_;
        }
        counts_->At(place) += n;
    }
    // Calls f(colour 0x00RRGGBB, count) for every colour counted.
    template <typename F> void ForEach(F f) const { counts_->ForEach(f); }

  private:
    std::unique_ptr<ColourTable<std::uint64_t, 13>> counts_ =
        std::make_unique<ColourTable<std::uint64_t, 13>>();
    std::uint32_t used_ = 0;
    bool full_ = false;
};

// One part of the image counted: each bin's pixels, and the first colours while there are
// few; and then, for the bins being counted colour by colour, each colour's pixels.
struct Count {
    std::vector<Stats> bins = std::vector<Stats>(kBins);
    ColourList first;
    bool few = true;
    ColourCounts exact; // every colour's pixels, weighted, while they are few
    ColourCounts flat;  // the pixels of each colour that lie in flat runs of the rows counted
    std::uint64_t rowPixels = 0;                   // pixels of the rows counted
    std::uint64_t sampledFrom = ~std::uint64_t{0}; // the first row sampled
    std::int64_t skip = -1; // a colour (0x00RRGGBB) not counted at all: the key colour

    bool Skipped(const std::uint8_t* p) const {
        return skip >= 0 && PixelKey(p) == static_cast<std::uint32_t>(skip);
    }

    void Add(const std::uint8_t* p, std::uint64_t weight) {
        Stats& bin = bins[BinOf(p)];
        bin.count += weight;
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t v = p[2 - c];
            bin.sum[c] += weight * v;
            bin.squares[c] += weight * v * v;
        }
    }

    // The runs of at least kFlatRun equal pixels of a row. Such a run holds two pixels
    // kFlatRun / 2 apart at multiples of kFlatRun / 2, so only where two such pixels are equal
    // is a run looked for.
    void FlatRuns(const std::uint8_t* row, std::uint64_t width) {
        constexpr std::uint64_t kStep = kFlatRun / 2;
        rowPixels += width;
        const auto same = [row](std::uint64_t a, std::uint64_t b) {
            return std::memcmp(row + 3 * a, row + 3 * b, 3) == 0;
        };
        for (std::uint64_t m = 0; m + kStep < width; m += kStep) {
            if (!same(m, m + kStep)) {
                continue;
            }
            std::uint64_t start = m;
            while (start > 0 && same(start - 1, m)) {
                --start;
            }
            std::uint64_t end = m + 1;
            while (end < width && same(end, m)) {
                ++end;
            }
            if (end - start >= kFlatRun && !Skipped(row + 3 * m)) {
                flat.Add(row + 3 * m, end - start);
            }
            if (end > m + kStep) {
                m = (end + kStep - 1) / kStep * kStep - kStep; // on from the first after the run
            }
        }
    }

    void Rows(bmp::SourceRows& rows, const bmp::TrueColourGeometry& g, std::uint64_t begin,
              std::uint64_t end, DiffusionObserver* observer, std::uint64_t rowsPerRow) {
        const std::int64_t positions = static_cast<std::int64_t>(g.padded * g.rows);
        RowWeights weights;
        for (std::uint64_t y = begin; y < end; ++y) {
            if (observer != nullptr) {
                const std::uint64_t from = std::min(y * rowsPerRow, g.rows);
                const std::uint64_t to = std::min((y + 1) * rowsPerRow, g.rows);
                ReportProgress(*observer, static_cast<std::int64_t>(from * g.padded),
                               static_cast<std::int64_t>(to * g.padded), positions);
            }
            const std::uint64_t width = rows.Width(y);
            if (!exact.full()) {
                const std::uint8_t* row = rows.Row(y);
                const std::uint8_t* w = weights.Of(row, width);
                const std::uint8_t* p = row;
                for (std::uint64_t x = 0; x < width; ++x, p += 3) {
                    if (Skipped(p)) {
                        continue;
                    }
                    Add(p, w[3 * x]);
                    exact.Add(p, w[3 * x]);
                    if (few && first.FindOrAdd(PixelKey(p)) < 0) {
                        few = false;
                    }
                }
                FlatRuns(row, width);
                if (exact.full()) {
                    sampledFrom = y + 1;
                }
            } else if (y % 2 == 0) {
                const std::uint8_t* row = rows.Row(y);
                const std::uint8_t* w = weights.Of(row, width);
                for (std::uint64_t x = 0; x < width; x += 2) {
                    if (!Skipped(row + 3 * x)) {
                        Add(row + 3 * x, 4 * std::uint64_t{w[3 * x]});
                    }
                }
                FlatRuns(row, width);
            }
        }
    }

    // The colours of the bins whose place in `slots` is not negative, counted again over the
    // same pixels as the first time: `colours` holds kColoursPerBin counts a slot.
    void Colours(bmp::SourceRows& rows, std::uint64_t begin, std::uint64_t end,
                 const std::vector<std::int32_t>& slots,
                 std::vector<std::uint64_t>& colours) const {
        VisitCountedPixels(
            rows, begin, end, sampledFrom, [&](const std::uint8_t* p, std::uint64_t weight) {
                const std::int32_t slot = slots[BinOf(p)];
                if (slot >= 0 && !Skipped(p)) {
                    colours[static_cast<std::size_t>(slot) * kColoursPerBin + InBinOf(p)] += weight;
                }
            });
    }
};

// Runs a piece of work on the upper and the lower half of the rows, side by side with two
// threads (`together` true), one after the other with one. Each half has rows of its own to
// read through.
template <typename Work>
void InHalves(bmp::SourceRows& rows, std::uint64_t rowCount, int threads, Work work) {
    const std::uint64_t middle = (rowCount + 1) / 2;
    bmp::SourceRows lowerRows = rows;
    if (threads != 2 || !RunSideBySide([&] { work(0, rows, 0, middle, true); },
                                       [&] { work(1, lowerRows, middle, rowCount, true); })) {
        work(0, rows, 0, middle, false);
        work(1, rows, middle, rowCount, false);
    }
}

// The items of the counted image: one for each bin, or for a crowded bin (`slots` not
// negative) one for each of its colours.
std::vector<Item> MakeItems(const Count counts[2], const std::vector<std::int32_t>& slots,
                            const std::vector<std::uint64_t> colours[2]) {
    std::vector<Item> items;
    const auto add = [&items](const Stats& stats, std::int32_t bin) {
        Item item{stats, {stats.Mean(0), stats.Mean(1), stats.Mean(2)}, bin};
        items.push_back(item);
    };
    for (std::uint32_t place = 0; place < kBins; ++place) {
        Stats bin = counts[0].bins[place];
        bin.Add(counts[1].bins[place]);
        if (bin.count == 0) {
            continue;
        }
        const std::int32_t slot = slots[place];
        if (slot < 0) {
            add(bin, static_cast<std::int32_t>(place));
            continue;
        }
        for (std::uint32_t k = 0; k < kColoursPerBin; ++k) {
            const std::size_t at = static_cast<std::size_t>(slot) * kColoursPerBin + k;
            const std::uint64_t count = colours[0][at] + colours[1][at];
            if (count != 0) {
                const int rgb[3] = {ColourOf(place, k, 2), ColourOf(place, k, 1),
                                    ColourOf(place, k, 0)};
                Stats colour;
                colour.AddColour(rgb, count);
                add(colour, -1);
            }
        }
    }
    return items;
}

// Every colour of an image of few enough colours, as an item of its own, in the order of
// their values; none when the image has more colours.
std::vector<Item> ExactItems(const Count counts[2]) {
    std::vector<Item> items;
    if (counts[0].exact.full() || counts[1].exact.full()) {
        return items;
    }
    std::vector<std::pair<std::uint32_t, std::uint64_t>> all;
    for (int half = 0; half < 2; ++half) {
        counts[half].exact.ForEach([&](std::uint32_t c, std::uint64_t n) {
            all.push_back({c, n});
        });
    }
    std::sort(all.begin(), all.end());
    for (std::size_t i = 0; i < all.size();) {
        const std::uint32_t c = all[i].first;
        std::uint64_t n = 0;
        for (; i < all.size() && all[i].first == c; ++i) {
            n += all[i].second;
        }
        const int rgb[3] = {static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF),
                            static_cast<int>(c & 0xFF)};
        Stats colour;
        colour.AddColour(rgb, n);
        items.push_back({colour, {rgb[0], rgb[1], rgb[2]}, -1});
    }
    return items;
}

// The single-colour items of `items` that are one of `colours` (0x00RRGGBB) leave the list.
void DropColours(std::vector<Item>& items, const std::vector<std::uint32_t>& colours) {
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const Item& item) {
                                   const std::uint32_t c = static_cast<std::uint32_t>(
                                       item.mean[0] << 16 | item.mean[1] << 8 | item.mean[2]);
                                   return item.bin < 0 && std::find(colours.begin(), colours.end(),
                                                                    c) != colours.end();
                               }),
                items.end());
}

// The colours of large flat areas (a `share`-th part of the rows counted, or more), most flat
// pixels first, each at least `apart` from those before it and at most `limit` of them, take
// entries of their own from `first` on; an image's colour items that they are leave the
// list. Returns them (0x00RRGGBB), in the order of their entries.
std::vector<std::uint32_t> KeepFlatColours(DiffusionPalette& palette, int first,
                                           std::uint64_t share, int apart, std::size_t limit,
                                           const Count counts[2], std::vector<Item>& items) {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> all;
    for (int half = 0; half < 2; ++half) {
        counts[half].flat.ForEach([&](std::uint32_t c, std::uint64_t n) { all.push_back({c, n}); });
    }
    std::sort(all.begin(), all.end());
    const std::uint64_t pixels = counts[0].rowPixels + counts[1].rowPixels;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> candidates; // flat pixels, colour
    for (std::size_t i = 0; i < all.size();) {
        const std::uint32_t c = all[i].first;
        std::uint64_t n = 0;
        for (; i < all.size() && all[i].first == c; ++i) {
            n += all[i].second;
        }
        if (n * share >= pixels) {
            candidates.push_back({n, c});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    const auto distance = [](std::uint32_t a, std::uint32_t b) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            d +=
                std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF));
        }
        return d;
    };
    std::vector<std::uint32_t> kept;
    for (const auto& candidate : candidates) {
        if (kept.size() == limit) {
            break;
        }
        const std::uint32_t c = candidate.second;
        if (std::none_of(kept.begin(), kept.end(),
                         [&](std::uint32_t before) { return distance(before, c) < apart; })) {
            kept.push_back(c);
        }
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const std::uint32_t c = kept[k];
        SetEntry(palette, static_cast<std::size_t>(first) + k, c >> 16 & 0xFF, c >> 8 & 0xFF,
                 c & 0xFF);
    }
    DropColours(items, kept);
    return kept;
}

// Boxes of bins first; the bins that want more than their one entry are counted again colour
// by colour, and the boxes made afresh, until no bin wants more (or kCountings countings).
// The colours `kept` (0x00RRGGBB), which have entries of their own, are left out.
std::vector<Box> DivideBins(Count counts[2], std::size_t wanted, bmp::SourceRows& rows,
                            const bmp::TrueColourGeometry& g, int threads, std::vector<Item>& items,
                            const std::vector<std::uint32_t>& kept) {
    std::vector<std::int32_t> slots(kBins, -1);
    std::vector<std::uint32_t> crowded;
    std::vector<std::uint64_t> colours[2];
    const auto countColours = [&](std::int32_t slotCount) {
        const std::size_t length = static_cast<std::size_t>(slotCount) * kColoursPerBin;
        for (auto& half : colours) {
            std::fill(half.begin(), half.end(), 0);
            half.resize(length, 0);
        }
        InHalves(rows, g.rows, threads,
                 [&](int half, bmp::SourceRows& own, std::uint64_t begin, std::uint64_t end, bool) {
                     counts[half].Colours(own, begin, end, slots, colours[half]);
                 });
    };
    // The bins of the colours kept exactly are counted colour by colour from the start, so
    // that those colours' own pixels, which their entries hold without error, leave the items.
    if (!kept.empty()) {
        std::int32_t slotCount = 0;
        for (const std::uint32_t c : kept) {
            const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(c & 0xFF),
                                         static_cast<std::uint8_t>(c >> 8 & 0xFF),
                                         static_cast<std::uint8_t>(c >> 16 & 0xFF)};
            std::int32_t& slot = slots[BinOf(bgr)];
            if (slot < 0) {
                slot = slotCount++;
            }
        }
        countColours(slotCount);
    }
    for (int counting = 1;; ++counting) {
        items = MakeItems(counts, slots, colours);
        DropColours(items, kept);
        crowded.clear();
        std::vector<Box> boxes = Divide(items, wanted, counting < kCountings ? &crowded : nullptr);
        if (crowded.empty()) {
            return boxes;
        }
        std::int32_t slotCount = static_cast<std::int32_t>(colours[0].size() / kColoursPerBin);
        for (const std::uint32_t bin : crowded) {
            slots[bin] = slotCount++;
        }
        countColours(slotCount);
    }
}

} // namespace

bool BuildAdaptivePalette(DiffusionPalette& palette, const GroupSizes& sizes, bmp::SourceRows& rows,
                          const bmp::TrueColourGeometry& g, int threads,
                          DiffusionObserver& observer, PaletteFacts& facts) try {
    const int firstFree = sizes.fixed + sizes.basic;
    int& pinned = facts.pinned;
    pinned = firstFree;

    // The upper and the lower half of the rows are counted each on its own, so that the
    // counts are the same with one thread or two; with two the upper half reports for both.
    auto counts = std::make_unique<Count[]>(2);
    if (facts.key) {
        counts[0].skip = counts[1].skip = palette[0].Colour();
    }
    InHalves(
        rows, g.rows, threads,
        [&](int half, bmp::SourceRows& own, std::uint64_t begin, std::uint64_t end, bool together) {
            counts[half].Rows(own, g, begin, end, half == 0 || !together ? &observer : nullptr,
                              together ? 2 : 1);
        });
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
        facts.exactColours = true;
        for (int k = 0; k < first.count(); ++k) {
            const std::uint32_t c = first.colour(k);
            SetEntry(palette, firstFree + k, c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
        }
        return true;
    }
    // The colours of large flat areas take their entries first. An image of few enough
    // colours is then split colour by colour, any other first by histogram bins.
    const std::size_t wanted = static_cast<std::size_t>(sizes.free);
    std::vector<Item> items = ExactItems(counts.get());
    const bool exactItems = !items.empty();
    const std::vector<std::uint32_t> kept =
        exactItems
            ? KeepFlatColours(palette, firstFree, FlatShare(kFlatShare, wanted), FlatApart(wanted),
                              wanted / 2, counts.get(), items)
            : KeepFlatColours(palette, firstFree, FlatShare(kWideFlatShare, wanted),
                              FlatApart(wanted), std::min(wanted / 2, WideFlatColours(wanted)),
                              counts.get(), items);
    const int flat = static_cast<int>(kept.size());
    pinned += flat;
    facts.exactColours = exactItems || flat > 0;
    const std::size_t rest = wanted - static_cast<std::size_t>(flat);
    const std::vector<Box> boxes =
        exactItems ? Divide(items, rest, nullptr)
                   : DivideBins(counts.get(), rest, rows, g, threads, items, kept);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Stats all = StatsOf(items, boxes[i]);
        SetEntry(palette, static_cast<std::size_t>(pinned) + i, all.Mean(0), all.Mean(1),
                 all.Mean(2));
    }
    const int used = pinned + static_cast<int>(boxes.size());
    Refine(palette, pinned, used, items, facts, observer);
    MakeDistinct(palette, firstFree, used, items, facts);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace quantize
