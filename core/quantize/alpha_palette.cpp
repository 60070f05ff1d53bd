#include "core/quantize/alpha_palette.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace quantize {
namespace {

// The most passes of k-means after the split, and the most colours counted one by one: beyond them
// the low bits of each channel are dropped, a bit at a time, and a colour stands for its pixels'
// mean.
constexpr int kAlphaPasses = 10;
constexpr std::size_t kMostItems = std::size_t{1} << 16;

// The pixels of one colour (a mean, where low bits were dropped), how many.
struct AlphaItem {
    RgbaEntry colour;
    std::uint64_t count;
};

std::uint32_t Pack(const std::uint8_t* p) {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

// The colours of the pixels that are not fully transparent, and whether any pixel is.
std::vector<AlphaItem> CountColours(const std::uint8_t* rgba, std::uint64_t count,
                                    bool& transparent) {
    std::vector<std::uint32_t> colours;
    colours.reserve(static_cast<std::size_t>(count));
    transparent = false;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (rgba[4 * i + 3] == 0) {
            transparent = true;
        } else {
            colours.push_back(Pack(rgba + 4 * i));
        }
    }
    std::vector<AlphaItem> items;
    for (std::uint32_t drop = 0; drop <= 4; ++drop) {
        const std::uint32_t mask = 0x01010101u * (0xFFu << drop & 0xFFu);
        std::sort(colours.begin(), colours.end(),
                  [mask](std::uint32_t a, std::uint32_t b) { return (a & mask) < (b & mask); });
        std::size_t distinct = 0;
        for (std::size_t i = 0; i < colours.size(); ++i) {
            distinct += i == 0 || (colours[i] & mask) != (colours[i - 1] & mask);
        }
        if (distinct > kMostItems && drop < 4) {
            continue;
        }
        for (std::size_t i = 0; i < colours.size();) {
            std::size_t j = i;
            std::uint64_t sums[4] = {};
            for (; j < colours.size() && (colours[j] & mask) == (colours[i] & mask); ++j) {
                for (int c = 0; c < 4; ++c) {
                    sums[c] += colours[j] >> (c == 3 ? 24 : 16 - 8 * c) & 0xFF;
                }
            }
            const std::uint64_t n = j - i;
            const auto mean = [&](int c) {
                return static_cast<std::uint8_t>((sums[c] + n / 2) / n);
            };
            items.push_back({{mean(0), mean(1), mean(2), mean(3)}, n});
            i = j;
        }
        break;
    }
    return items;
}

// A box of items to split: [begin, end) of the list, its pixels' squared distance to their mean
// (in coordinates of 0 to 255: premultiplied channels and alpha, green twice).
struct Box {
    std::size_t begin, end;
    std::uint64_t error;
    int axis; // the coordinate along which its pixels spread most
};

std::int32_t Coordinate(const RgbaEntry& c, int axis) {
    const std::uint8_t v[4] = {c.red, c.green, c.blue, c.alpha};
    return axis == 3 ? c.alpha : (v[axis] * c.alpha + 127) / 255;
}

Box MakeBox(const std::vector<AlphaItem>& items, std::size_t begin, std::size_t end) {
    Box box{begin, end, 0, 0};
    std::uint64_t n = 0, sums[4] = {};
    for (std::size_t i = begin; i < end; ++i) {
        n += items[i].count;
        for (int c = 0; c < 4; ++c) {
            sums[c] += items[i].count * static_cast<std::uint64_t>(Coordinate(items[i].colour, c));
        }
    }
    std::uint64_t spread = 0;
    for (int c = 0; c < 4; ++c) {
        const auto mean = static_cast<std::int64_t>((sums[c] + n / 2) / n);
        std::uint64_t e = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const std::int64_t d = Coordinate(items[i].colour, c) - mean;
            e += items[i].count * static_cast<std::uint64_t>(d * d);
        }
        e *= c == 1 ? 2 : 1;
        box.error += e;
        if (e > spread) {
            spread = e;
            box.axis = c;
        }
    }
    return box;
}

// Splits the items into at most `wanted` boxes, the box of most error first, each at the median
// pixel along its widest coordinate (the items of the median's value on the side that keeps
// them together). Counting the values takes a pass where sorting the items took several.
std::vector<Box> Split(std::vector<AlphaItem>& items, std::size_t wanted) {
    std::vector<Box> boxes{MakeBox(items, 0, items.size())};
    while (boxes.size() < wanted) {
        std::size_t worst = boxes.size();
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin > 1 &&
                (worst == boxes.size() || boxes[b].error > boxes[worst].error)) {
                worst = b;
            }
        }
        if (worst == boxes.size() || boxes[worst].error == 0) {
            break;
        }
        const Box box = boxes[worst];
        // The pixels by their coordinate along the axis (0 to 255), and the value at which
        // half of them lie at or below: the items up to it go first. Where every item lies at
        // or below it, the value itself goes second (the box spreads along the axis, so both
        // sides hold an item).
        std::uint64_t counts[256] = {}, total = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            counts[Coordinate(items[i].colour, box.axis)] += items[i].count;
            total += items[i].count;
        }
        int median = 0;
        for (std::uint64_t below = counts[0]; 2 * below < total; below += counts[++median]) {
        }
        int highest = 255;
        while (counts[highest] == 0) {
            --highest;
        }
        const int limit = median == highest ? median - 1 : median;
        const auto middle = std::stable_partition(
            items.begin() + static_cast<std::ptrdiff_t>(box.begin),
            items.begin() + static_cast<std::ptrdiff_t>(box.end),
            [&](const AlphaItem& item) { return Coordinate(item.colour, box.axis) <= limit; });
        const auto cut = static_cast<std::size_t>(middle - items.begin());
        if (cut == box.begin || cut == box.end) {
            boxes[worst].error = 0; // no spread after all: left whole
            continue;
        }
        boxes[worst] = MakeBox(items, box.begin, cut);
        boxes.push_back(MakeBox(items, cut, box.end));
    }
    return boxes;
}

// The colour whose point is the mean of the points summed: sums of count * weight * x per
// channel, of count * weight, and of count * alpha and count.
RgbaEntry MeanColour(const std::int64_t* weighted, std::int64_t weights, std::int64_t alphas,
                     std::int64_t pixels, AlphaWeighting weighting) {
    RgbaEntry mean;
    mean.alpha = static_cast<std::uint8_t>(std::clamp<std::int64_t>(
        (alphas + pixels / 2) / pixels, 1, 255)); // a transparent pixel is no item
    std::uint8_t* channels[3] = {&mean.red, &mean.green, &mean.blue};
    // Premultiplied, x = c * alpha; straight, x = c * 255: c = x * 255 / per.
    const std::int64_t per = weighting == AlphaWeighting::Straight
                                 ? std::int64_t{255} * 255
                                 : (alphas * 255 + pixels / 2) / pixels;
    for (int c = 0; c < 3; ++c) {
        const std::int64_t x = weights > 0 ? (weighted[c] + weights / 2) / weights : 0;
        *channels[c] = static_cast<std::uint8_t>(
            std::clamp<std::int64_t>(per > 0 ? (x * 255 + per / 2) / per : 0, 0, 255));
    }
    return mean;
}

// Below this many colours a second thread of the k-means passes costs more than it saves.
constexpr std::size_t kTwoThreadsFrom = 8192;

// The pixels nearest one entry in a k-means pass, summed as MeanColour takes them. Integer
// sums: the same in any order, so two threads' halves add up to one thread's whole.
struct Sums {
    std::int64_t weighted[3] = {}, weights = 0, alphas = 0, pixels = 0;
};

// Gives items [begin, end) their nearest entries (`last` holds the pass before's, as hints)
// and adds them to their entries' sums.
void Assign(const std::vector<AlphaItem>& items, std::size_t begin, std::size_t end,
            const AlphaNearest& nearest, AlphaWeighting weighting, std::vector<int>& last,
            std::vector<Sums>& sums) {
    for (std::size_t i = begin; i < end; ++i) {
        const AlphaItem& item = items[i];
        const AlphaPoint p = PointOf(item.colour, weighting);
        last[i] = nearest.Find(p, last[i]);
        Sums& s = sums[static_cast<std::size_t>(last[i])];
        const auto n = static_cast<std::int64_t>(item.count);
        // The weight in 1/65025ths keeps n * weight * x within 64 bits.
        const std::int64_t w = n * ((p.weight + 127) / 255);
        for (int c = 0; c < 3; ++c) {
            s.weighted[c] += w * p.x[c];
        }
        s.weights += w;
        s.alphas += n * item.colour.alpha;
        s.pixels += n;
    }
}

// K-means passes: each entry from `first` on moves to the mean of the items nearest to it, until
// none moves or kAlphaPasses have run; on two threads where `threads` says so (or, at 0, where
// the items are many and there are two processors).
void Refine(std::vector<RgbaEntry>& entries, std::size_t first, const std::vector<AlphaItem>& items,
            AlphaWeighting weighting, int threads) {
    const bool two = threads == 2 || (threads == 0 && items.size() >= kTwoThreadsFrom &&
                                      std::thread::hardware_concurrency() != 1);
    const std::size_t half = two ? items.size() / 2 : items.size();
    std::vector<int> last(items.size(), -1); // each item's entry in the pass before
    for (int pass = 0; pass < kAlphaPasses; ++pass) {
        std::vector<AlphaPoint> points;
        for (const RgbaEntry& e : entries) {
            points.push_back(PointOf(e, weighting));
        }
        const AlphaNearest nearest(points);
        std::vector<Sums> sums(entries.size()), other(entries.size());
        std::thread helper;
        try {
            if (half < items.size()) {
                helper =
                    std::thread(Assign, std::cref(items), half, items.size(), std::cref(nearest),
                                weighting, std::ref(last), std::ref(other));
            }
        } catch (const std::system_error&) {
        }
        Assign(items, 0, half, nearest, weighting, last, sums);
        if (helper.joinable()) {
            helper.join();
        } else if (half < items.size()) {
            Assign(items, half, items.size(), nearest, weighting, last, other);
        }
        for (std::size_t e = 0; e < sums.size(); ++e) {
            for (int c = 0; c < 3; ++c) {
                sums[e].weighted[c] += other[e].weighted[c];
            }
            sums[e].weights += other[e].weights;
            sums[e].alphas += other[e].alphas;
            sums[e].pixels += other[e].pixels;
        }
        bool moved = false;
        for (std::size_t e = first; e < entries.size(); ++e) {
            if (sums[e].pixels > 0) {
                const RgbaEntry mean = MeanColour(sums[e].weighted, sums[e].weights, sums[e].alphas,
                                                  sums[e].pixels, weighting);
                moved = moved || !(mean == entries[e]);
                entries[e] = mean;
            }
        }
        if (!moved) {
            break; // the passes after would change nothing
        }
    }
}

} // namespace

AlphaPalette ChooseAlphaPalette(const std::uint8_t* rgba, std::uint64_t count,
                                const AlphaChoices& choices) {
    bool transparent = false;
    std::vector<AlphaItem> items = CountColours(rgba, count, transparent);
    std::vector<RgbaEntry> entries;
    if (transparent || choices.key) {
        RgbaEntry clear = choices.key ? choices.keyColour : RgbaEntry{};
        clear.alpha = 0;
        entries.push_back(clear);
    }
    const std::size_t first = entries.size();
    const std::size_t free = static_cast<std::size_t>(std::clamp(choices.colours, 1, 256)) - first;
    if (items.size() <= free) {
        std::sort(items.begin(), items.end(),
                  [](const AlphaItem& a, const AlphaItem& b) { return a.count > b.count; });
        for (const AlphaItem& item : items) {
            entries.push_back(item.colour);
        }
    } else {
        for (const Box& box : Split(items, free)) {
            std::int64_t weighted[3] = {}, weights = 0, alphas = 0, pixels = 0;
            for (std::size_t i = box.begin; i < box.end; ++i) {
                const AlphaPoint p = PointOf(items[i].colour, AlphaWeighting::Premultiplied);
                const auto n = static_cast<std::int64_t>(items[i].count);
                for (int c = 0; c < 3; ++c) {
                    weighted[c] += n * 255 * p.x[c];
                }
                weights += n * 255;
                alphas += n * items[i].colour.alpha;
                pixels += n;
            }
            entries.push_back(
                MeanColour(weighted, weights, alphas, pixels, AlphaWeighting::Premultiplied));
        }
        Refine(entries, first, items, choices.weighting, choices.threads);
    }
    // The most transparent first; a stable sort keeps the transparent entry at 0.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RgbaEntry& a, const RgbaEntry& b) { return a.alpha < b.alpha; });
    AlphaPalette palette;
    std::copy(entries.begin(), entries.end(), palette.entries.begin());
    palette.count = static_cast<int>(entries.size());
    return palette;
}

} // namespace quantize
