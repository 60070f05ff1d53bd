#include "core/quantize/adaptive_palette.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "core/quantize/flat_colours.h"
#include "core/quantize/histogram.h"
#include "core/quantize/kmeans.h"
#include "core/quantize/variance_split.h"

namespace quantize {
namespace {

bool HoldsAll(const DeviceColours& device, const ColourList& colours) {
    for (int k = 0; k < colours.count() && !device.Every(); ++k) {
        if (!device.Holds(colours.colour(k))) {
            return false;
        }
    }
    return true;
}

// A device of no more colours than the free entries: they take all its colours (but those of
// the fixed entries) in order, and stay so; pixels take no entry after them.
void TakeEveryDeviceColour(DiffusionPalette& palette, int firstFree, PaletteFacts& facts) {
    int e = firstFree;
    for (std::uint64_t k = 0; k < facts.device.Count(); ++k) {
        const PaletteEntry entry = PaletteEntry::OfColour(facts.device.At(k));
        if (std::none_of(palette.begin(), palette.begin() + e,
                         [&](const PaletteEntry& before) { return before.SameColour(entry); })) {
            palette[static_cast<std::size_t>(e++)] = entry;
        }
    }
    facts.pinned = e;
    facts.entries = std::max(e, 1);
    facts.exactColours = true;
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
    auto counts = std::make_unique<ImageCount[]>(2);
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
    const DeviceColours& device = facts.device;
    if (!device.Every() && device.Count() <= static_cast<std::uint64_t>(sizes.free)) {
        TakeEveryDeviceColour(palette, firstFree, facts);
        return true;
    }
    if (few && first.count() <= sizes.free && HoldsAll(device, first)) {
        facts.exactColours = true;
        for (int k = 0; k < first.count(); ++k) {
            const std::uint32_t c = first.colour(k);
            SetColour(palette[static_cast<std::size_t>(firstFree + k)], c >> 16 & 0xFF,
                      c >> 8 & 0xFF, c & 0xFF);
        }
        return true;
    }
    // The colours of large flat areas take their entries first. An image of few enough
    // colours is then split colour by colour, any other first by histogram bins.
    const std::size_t wanted = static_cast<std::size_t>(sizes.free);
    std::vector<Item> items = ExactItems(counts.get());
    const bool exactItems = !items.empty();
    const ColourCounts* const runs[2] = {&counts[0].flat, &counts[1].flat};
    const std::vector<std::uint32_t> kept =
        KeepFlatColours(palette, firstFree, wanted, exactItems, runs,
                        counts[0].rowPixels + counts[1].rowPixels, device, items);
    const int flat = static_cast<int>(kept.size());
    pinned += flat;
    facts.exactColours = exactItems || flat > 0;
    const std::size_t rest = wanted - static_cast<std::size_t>(flat);
    const std::vector<Box> boxes =
        exactItems ? Divide(items, rest, nullptr)
                   : DivideBins(counts.get(), rest, rows, g, threads, items, kept);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Stats all = StatsOf(items, boxes[i]);
        SetNearest(palette[static_cast<std::size_t>(pinned) + i], device, all.Mean(0), all.Mean(1),
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
