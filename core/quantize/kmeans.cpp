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
                SetColour(palette[e], cluster.Mean(0), cluster.Mean(1), cluster.Mean(2));
            }
        }
    }
}

void MakeDistinct(DiffusionPalette& palette, int firstFree, int used,
                  const std::vector<Item>& items, const PaletteFacts& facts) {
    for (int e = firstFree; e < used; ++e) {
        bool repeated = false;
        for (int j = 0; j < e && !repeated; ++j) {
            repeated = palette[e].SameColour(palette[j]);
        }
        if (!repeated) {
            continue;
        }
        SetColour(palette[e], 0, 0, 0);
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
        SetColour(palette[e], worst->mean[0], worst->mean[1], worst->mean[2]);
    }
}

} // namespace quantize
