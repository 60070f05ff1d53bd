#include "core/quantize/flat_colours.h"

#include <algorithm>
#include <cstdlib>

#include "core/quantize/texture_map.h"

namespace quantize {
namespace {

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

// The colours of large flat areas (a `share`-th part of the rows counted, or more), most flat
// pixels first, each at least `apart` from those before it and at most `limit` of them, take
// entries of their own from `first` on; an image's colour items that they are leave the
// list. Returns them (0x00RRGGBB), in the order of their entries.
std::vector<std::uint32_t> KeepWithin(DiffusionPalette& palette, int first, std::uint64_t share,
                                      int apart, std::size_t limit,
                                      const ColourCounts* const runs[2], std::uint64_t pixels,
                                      const DeviceColours& device, std::vector<Item>& items) {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> all;
    for (int half = 0; half < 2; ++half) {
        runs[half]->ForEach([&](std::uint32_t c, std::uint64_t n) { all.push_back({c, n}); });
    }
    std::sort(all.begin(), all.end());
    std::vector<std::pair<std::uint64_t, std::uint32_t>> candidates; // flat pixels, colour
    for (std::size_t i = 0; i < all.size();) {
        const std::uint32_t c = all[i].first;
        std::uint64_t n = 0;
        for (; i < all.size() && all[i].first == c; ++i) {
            n += all[i].second;
        }
        if (n * share >= pixels && device.Holds(c)) {
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
        SetColour(palette[static_cast<std::size_t>(first) + k], c >> 16 & 0xFF, c >> 8 & 0xFF,
                  c & 0xFF);
    }
    DropColours(items, kept);
    return kept;
}

} // namespace

void CountFlatRuns(const std::uint8_t* row, const std::uint8_t* likeness, std::uint64_t width,
                   std::int64_t skip, ColourCounts& runs) {
    // A run of kFlatRun or more equal pixels holds flat pixels (kFlatRun - 2 of them or more)
    // at a multiple of kFlatRun / 2: only there is a run looked for. Its flat pixels are those
    // equal to both neighbours, and one more on each side that has one.
    constexpr std::uint64_t kStep = kFlatRun / 2;
    const auto flat = [likeness](std::uint64_t x) { return likeness[3 * x] == kFlat; };
    for (std::uint64_t m = 0; m < width; m += kStep) {
        if (!flat(m)) {
            continue;
        }
        std::uint64_t start = m, end = m + 1;
        while (start > 0 && flat(start - 1)) {
            --start;
        }
        while (end < width && flat(end)) {
            ++end;
        }
        start -= start > 0 ? 1 : 0;
        end += end < width ? 1 : 0;
        if (end - start >= kFlatRun && static_cast<std::int64_t>(PixelKey(row + 3 * m)) != skip) {
            runs.Add(row + 3 * m, end - start);
        }
        m = (end + kStep - 1) / kStep * kStep - kStep; // on from the first after the run
    }
}

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

std::vector<std::uint32_t> KeepFlatColours(DiffusionPalette& palette, int first, std::size_t free,
                                           bool fewColours, const ColourCounts* const runs[2],
                                           std::uint64_t pixels, const DeviceColours& device,
                                           std::vector<Item>& items) {
    return fewColours
               ? KeepWithin(palette, first, FlatShare(kFlatShare, free), FlatApart(free), free / 2,
                            runs, pixels, device, items)
               : KeepWithin(palette, first, FlatShare(kWideFlatShare, free), FlatApart(free),
                            std::min(free / 2, WideFlatColours(free)), runs, pixels, device, items);
}

} // namespace quantize
