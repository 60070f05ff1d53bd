#include "core/quantize/kmeans.h"

#include <algorithm>

namespace quantize {
namespace {

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

} // namespace

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
                SetNearest(palette[e], facts.device, cluster.Mean(0), cluster.Mean(1),
                           cluster.Mean(2));
            }
        }
    }
}

void MakeDistinct(DiffusionPalette& palette, int firstFree, int used,
                  const std::vector<Item>& items, const PaletteFacts& facts) {
    const DeviceColours& device = facts.device;
    std::vector<std::uint32_t> wanted; // each item's colour on the device, found once
    for (int e = firstFree; e < used; ++e) {
        if (std::none_of(palette.begin(), palette.begin() + e, [&](const PaletteEntry& before) {
                return before.SameColour(palette[e]);
            })) {
            continue;
        }
        std::vector<std::uint32_t> others;
        for (int j = 0; j < used; ++j) {
            if (j != e) {
                others.push_back(palette[j].Colour());
            }
        }
        std::sort(others.begin(), others.end());
        const auto taken = [&others](std::uint32_t colour) {
            return std::binary_search(others.begin(), others.end(), colour);
        };
        if (wanted.empty()) {
            for (const Item& item : items) {
                wanted.push_back(device.Nearest(item.mean[0], item.mean[1], item.mean[2]));
            }
        }
        SetColour(palette[e], 0, 0, 0);
        const GreenOrder nearest(palette, facts);
        std::uint64_t worstCost = 0;
        std::uint32_t worst = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            int distance = 0;
            nearest.Find(items[i].mean, &distance);
            const std::uint64_t cost = items[i].stats.count * static_cast<std::uint64_t>(distance);
            if (cost > worstCost && !taken(wanted[i])) {
                worstCost = cost;
                worst = wanted[i];
            }
        }
        if (worstCost == 0) {
            // Every colour of the image is in the palette, or on a device every colour near
            // one: the device's colour nearest to the entry's own that no entry has.
            const PaletteEntry was = palette[e];
            if (device.Every() || !device.NearestFree(was.red, was.green, was.blue, taken, worst)) {
                return;
            }
        }
        palette[e] = PaletteEntry::OfColour(worst);
    }
}

} // namespace quantize
