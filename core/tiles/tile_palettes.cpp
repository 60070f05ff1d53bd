// The palettes of a tile image. Every tile's colours are counted on the device's grid. When
// the tiles' colour sets pack into P palettes (largest sets first, each into the palette it
// grows least), those are the palettes, and every tile keeps its colours. Otherwise the tiles
// are grouped by k-means over their colour sets: seeds the tiles farthest apart by their mean
// colour, then in turn each group's palette chosen for its tiles' colours (weighted k-means
// around the shared entries) and each tile moved to the palette that draws it with least
// error, until no tile moves. Portable: no platform headers.
#include "core/tiles/tile_palettes.h"

#include <algorithm>
#include <utility>
#include <array>
#include <limits>

namespace tiles {
namespace {

using Colour = std::uint32_t;

// A colour and how many pixels have it.
struct Counted {
    Colour colour;
    int count;
};

// Each tile's colours, sorted, with their counts.
struct TileColours {
    std::vector<Counted> colours;
    std::vector<std::size_t> start; // tile t's colours: [start[t], start[t + 1])

    std::size_t Tiles() const { return start.size() - 1; }
};

std::vector<Counted> CountSorted(std::vector<Colour>& colours) {
    std::sort(colours.begin(), colours.end());
    std::vector<Counted> counted;
    for (const Colour c : colours) {
        if (!counted.empty() && counted.back().colour == c) {
            ++counted.back().count;
        } else {
            counted.push_back({c, 1});
        }
    }
    return counted;
}

TileColours CountTiles(const TiledImage& image, const quantize::DeviceColours& device, bool key,
                       Colour keyColour) {
    TileColours tiles;
    tiles.start.push_back(0);
    std::vector<Colour> pixels;
    for (int ty = 0; ty < image.Down(); ++ty) {
        for (int tx = 0; tx < image.Across(); ++tx) {
            pixels.clear();
            const int x1 = std::min(image.width, (tx + 1) * image.tileWidth);
            const int y1 = std::min(image.height, (ty + 1) * image.tileHeight);
            for (int y = ty * image.tileHeight; y < y1; ++y) {
                for (int x = tx * image.tileWidth; x < x1; ++x) {
                    const Colour c = image.pixels[static_cast<std::size_t>(y) *
                                                      static_cast<std::size_t>(image.width) +
                                                  static_cast<std::size_t>(x)];
                    if (!(key && c == keyColour)) {
                        pixels.push_back(
                            device.Every() ? c
                                           : device.Nearest(c >> 16 & 255, c >> 8 & 255, c & 255));
                    }
                }
            }
            const std::vector<Counted> counted = CountSorted(pixels);
            tiles.colours.insert(tiles.colours.end(), counted.begin(), counted.end());
            tiles.start.push_back(tiles.colours.size());
        }
    }
    return tiles;
}

bool Holds(const std::vector<Colour>& colours, Colour c) {
    return std::find(colours.begin(), colours.end(), c) != colours.end();
}

// Each colour once, its counts added up, in the order of the colours.
std::vector<Counted> Merged(std::vector<Counted> all) {
    std::sort(all.begin(), all.end(),
              [](const Counted& a, const Counted& b) { return a.colour < b.colour; });
    std::vector<Counted> merged;
    for (const Counted& c : all) {
        if (!merged.empty() && merged.back().colour == c.colour) {
            merged.back().count += c.count;
        } else {
            merged.push_back(c);
        }
    }
    return merged;
}

// The shared entries: the fixed colours, then the image's most frequent colours, then the
// device colours nearest to black that are still free.
std::vector<Colour> SharedEntries(const TileColours& tiles, const TileShape& shape,
                                  const std::vector<Colour>& fixed,
                                  const quantize::DeviceColours& device) {
    std::vector<Colour> shared(fixed.begin(), fixed.end());
    if (static_cast<int>(shared.size()) < shape.shared) {
        std::vector<Counted> merged = Merged(tiles.colours);
        std::stable_sort(merged.begin(), merged.end(),
                         [](const Counted& a, const Counted& b) { return a.count > b.count; });
        for (const Counted& c : merged) {
            if (static_cast<int>(shared.size()) == shape.shared) {
                break;
            }
            if (!Holds(shared, c.colour)) {
                shared.push_back(c.colour);
            }
        }
    }
    while (static_cast<int>(shared.size()) < shape.shared) {
        Colour c = 0;
        device.NearestFree(
            0, 0, 0, [&](Colour d) { return Holds(shared, d); }, c);
        shared.push_back(c);
    }
    return shared;
}

// Chooses `own` entries for the weighted colours, none of them alike or a shared entry: the
// colours themselves where they fit, else weighted k-means around the shared entries, the
// centres moved onto the device's colours.
std::vector<Colour> OwnEntries(const std::vector<Counted>& colours,
                               const std::vector<Colour>& shared, int own,
                               const quantize::DeviceColours& device) {
    std::vector<Colour> entries;
    std::vector<Counted> free;
    for (const Counted& c : colours) {
        if (!Holds(shared, c.colour)) {
            free.push_back(c);
        }
    }
    const auto taken = [&](Colour d) { return Holds(shared, d) || Holds(entries, d); };
    if (static_cast<int>(free.size()) <= own) {
        for (const Counted& c : free) {
            entries.push_back(c.colour);
        }
    } else {
        using Centre = std::array<double, 3>;
        const auto channels = [](Colour c) {
            return Centre{static_cast<double>(c >> 16 & 255), static_cast<double>(c >> 8 & 255),
                          static_cast<double>(c & 255)};
        };
        const auto distance = [](const Centre& a, const Centre& b) {
            return (a[0] - b[0]) * (a[0] - b[0]) + 2 * (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]);
        };
        std::vector<Centre> fixedCentres, centres;
        for (const Colour c : shared) {
            fixedCentres.push_back(channels(c));
        }
        // Seeds: each the colour of most weight times its distance from the seeds before it.
        std::vector<double> nearest(free.size(), std::numeric_limits<double>::max());
        const auto lower = [&](const Centre& centre) {
            for (std::size_t i = 0; i < free.size(); ++i) {
                nearest[i] = std::min(nearest[i], distance(channels(free[i].colour), centre));
            }
        };
        for (const Centre& centre : fixedCentres) {
            lower(centre);
        }
        for (int k = 0; k < own; ++k) {
            std::size_t best = 0;
            double bestScore = -1;
            for (std::size_t i = 0; i < free.size(); ++i) {
                const double d = nearest[i] == std::numeric_limits<double>::max() ? 1 : nearest[i];
                const double score = free[i].count * d;
                if (score > bestScore) {
                    bestScore = score;
                    best = i;
                }
            }
            centres.push_back(channels(free[best].colour));
            lower(centres.back());
        }
        // Lloyd's steps; the shared entries keep their colours.
        std::vector<std::size_t> of(free.size());
        for (int step = 0; step < 5; ++step) {
            std::vector<Centre> sums(centres.size(), Centre{0, 0, 0});
            std::vector<double> weights(centres.size(), 0);
            for (std::size_t i = 0; i < free.size(); ++i) {
                const Centre c = channels(free[i].colour);
                double best = std::numeric_limits<double>::max();
                for (const Centre& f : fixedCentres) {
                    best = std::min(best, distance(c, f));
                }
                std::size_t which = centres.size();
                for (std::size_t k = 0; k < centres.size(); ++k) {
                    const double d = distance(c, centres[k]);
                    if (d < best) {
                        best = d;
                        which = k;
                    }
                }
                if (which < centres.size()) {
                    for (int ch = 0; ch < 3; ++ch) {
                        sums[which][static_cast<std::size_t>(ch)] +=
                            c[static_cast<std::size_t>(ch)] * free[i].count;
                    }
                    weights[which] += free[i].count;
                }
            }
            for (std::size_t k = 0; k < centres.size(); ++k) {
                if (weights[k] > 0) {
                    for (std::size_t ch = 0; ch < 3; ++ch) {
                        centres[k][ch] = sums[k][ch] / weights[k];
                    }
                }
            }
        }
        for (const Centre& centre : centres) {
            Colour c = 0;
            if (device.NearestFree(static_cast<int>(centre[0] + 0.5),
                                   static_cast<int>(centre[1] + 0.5),
                                   static_cast<int>(centre[2] + 0.5), taken, c)) {
                entries.push_back(c);
            }
        }
    }
    // Entries no colour needs: the free device colours nearest to black.
    while (static_cast<int>(entries.size()) < own) {
        Colour c = 0;
        if (!device.NearestFree(0, 0, 0, taken, c)) {
            c = entries.empty() ? 0 : entries.back(); // a device of fewer colours than K
        }
        entries.push_back(c);
    }
    return entries;
}

// The error of drawing a tile's colours with a palette's entries, nearest by nearest; stops
// early once above `bound`.
std::int64_t TileError(const TileColours& tiles, std::size_t t, const Colour* entries, int count,
                       std::int64_t bound) {
    std::int64_t error = 0;
    for (std::size_t i = tiles.start[t]; i < tiles.start[t + 1] && error <= bound; ++i) {
        int best = std::numeric_limits<int>::max();
        for (int k = 0; k < count && best > 0; ++k) {
            best = std::min(best, ColourDistance(tiles.colours[i].colour, entries[k]));
        }
        error += static_cast<std::int64_t>(best) * tiles.colours[i].count;
    }
    return error;
}

// Packs the tiles' own colours into at most P sets of `own`: largest sets first, each into the
// set it grows least. Empty when they do not fit.
std::vector<std::vector<Colour>> PackExactly(const TileColours& tiles,
                                             const std::vector<Colour>& shared, int own,
                                             int palettes, std::vector<int>& paletteOfTile) {
    std::vector<std::vector<Colour>> sets(tiles.Tiles());
    for (std::size_t t = 0; t < tiles.Tiles(); ++t) {
        for (std::size_t i = tiles.start[t]; i < tiles.start[t + 1]; ++i) {
            if (!Holds(shared, tiles.colours[i].colour)) {
                sets[t].push_back(tiles.colours[i].colour);
            }
        }
        if (static_cast<int>(sets[t].size()) > own) {
            return {};
        }
    }
    std::vector<std::size_t> order(tiles.Tiles());
    for (std::size_t t = 0; t < order.size(); ++t) {
        order[t] = t;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sets[a].size() > sets[b].size(); });
    std::vector<std::vector<Colour>> packed;
    std::vector<Colour> merged;
    for (const std::size_t t : order) {
        std::size_t best = packed.size();
        std::size_t bestSize = 0;
        for (std::size_t p = 0; p < packed.size(); ++p) {
            merged.clear();
            std::set_union(packed[p].begin(), packed[p].end(), sets[t].begin(), sets[t].end(),
                           std::back_inserter(merged));
            if (static_cast<int>(merged.size()) <= own &&
                (best == packed.size() || merged.size() - packed[p].size() < bestSize)) {
                best = p;
                bestSize = merged.size() - packed[p].size();
            }
        }
        if (best == packed.size()) {
            if (static_cast<int>(packed.size()) == palettes) {
                return {};
            }
            packed.emplace_back();
        }
        merged.clear();
        std::set_union(packed[best].begin(), packed[best].end(), sets[t].begin(), sets[t].end(),
                       std::back_inserter(merged));
        packed[best] = merged;
        paletteOfTile[t] = static_cast<int>(best);
    }
    return packed;
}

// Each tile's mean colour.
std::vector<std::array<double, 3>> TileMeans(const TileColours& tiles) {
    std::vector<std::array<double, 3>> means(tiles.Tiles(), {0, 0, 0});
    for (std::size_t t = 0; t < tiles.Tiles(); ++t) {
        double weight = 0;
        for (std::size_t i = tiles.start[t]; i < tiles.start[t + 1]; ++i) {
            const Colour c = tiles.colours[i].colour;
            const int n = tiles.colours[i].count;
            means[t][0] += (c >> 16 & 255) * n;
            means[t][1] += (c >> 8 & 255) * n;
            means[t][2] += (c & 255) * n;
            weight += n;
        }
        for (double& m : means[t]) {
            m = weight > 0 ? m / weight : 0;
        }
    }
    return means;
}

double MeanDistance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return (a[0] - b[0]) * (a[0] - b[0]) + 2 * (a[1] - b[1]) * (a[1] - b[1]) +
           (a[2] - b[2]) * (a[2] - b[2]);
}

// The first groups: seeds the tiles farthest apart by mean colour, each tile with its nearest.
void SeedGroups(const TileColours& tiles, int palettes, std::vector<int>& paletteOfTile) {
    const std::vector<std::array<double, 3>> means = TileMeans(tiles);
    std::vector<double> nearest(means.size(), std::numeric_limits<double>::max());
    std::array<double, 3> centre = {0, 0, 0};
    for (const auto& m : means) {
        for (std::size_t ch = 0; ch < 3; ++ch) {
            centre[ch] += m[ch] / static_cast<double>(means.size());
        }
    }
    std::vector<std::size_t> seeds;
    for (int p = 0; p < palettes && p < static_cast<int>(means.size()); ++p) {
        std::size_t best = 0;
        double far = -1;
        for (std::size_t t = 0; t < means.size(); ++t) {
            const double d = seeds.empty() ? MeanDistance(means[t], centre) : nearest[t];
            if (d > far) {
                far = d;
                best = t;
            }
        }
        seeds.push_back(best);
        for (std::size_t t = 0; t < means.size(); ++t) {
            const double d = MeanDistance(means[t], means[best]);
            if (d < nearest[t]) {
                nearest[t] = d;
                paletteOfTile[t] = p;
            }
        }
    }
}

// The colours of a group's tiles, counted together.
std::vector<Counted> GroupColours(const TileColours& tiles, const std::vector<int>& paletteOfTile,
                                  int group) {
    std::vector<Counted> all;
    for (std::size_t t = 0; t < tiles.Tiles(); ++t) {
        if (paletteOfTile[t] == group) {
            all.insert(all.end(),
                       tiles.colours.begin() + static_cast<std::ptrdiff_t>(tiles.start[t]),
                       tiles.colours.begin() + static_cast<std::ptrdiff_t>(tiles.start[t + 1]));
        }
    }
    return Merged(std::move(all));
}

constexpr int kGroupingRounds = 8;

} // namespace

TilePalettes ChoosePalettes(const TiledImage& image, const TileShape& shape,
                            const std::vector<std::uint32_t>& fixed, bool key,
                            const quantize::DeviceColours& device) {
    const Colour keyColour = fixed.empty() ? 0 : fixed[0];
    const TileColours tiles = CountTiles(image, device, key && !fixed.empty(), keyColour);
    const std::vector<Colour> shared = SharedEntries(tiles, shape, fixed, device);
    const int own = shape.size - shape.shared;
    const auto k = static_cast<std::size_t>(shape.size);
    TilePalettes result;
    result.paletteOfTile.assign(tiles.Tiles(), 0);
    result.entries.assign(static_cast<std::size_t>(shape.palettes) * k, 0);
    const auto setPalette = [&](int p, const std::vector<Colour>& ownEntries) {
        Colour* entries = &result.entries[static_cast<std::size_t>(p) * k];
        std::copy(shared.begin(), shared.end(), entries);
        std::copy(ownEntries.begin(), ownEntries.end(), entries + shared.size());
    };

    std::vector<std::vector<Colour>> packed =
        PackExactly(tiles, shared, own, shape.palettes, result.paletteOfTile);
    if (!packed.empty() || tiles.colours.empty()) {
        packed.resize(static_cast<std::size_t>(shape.palettes));
        for (int p = 0; p < shape.palettes; ++p) {
            std::vector<Counted> colours;
            for (const Colour c : packed[static_cast<std::size_t>(p)]) {
                colours.push_back({c, 1});
            }
            setPalette(p, OwnEntries(colours, shared, own, device));
        }
    } else {
        SeedGroups(tiles, shape.palettes, result.paletteOfTile);
        for (int round = 0; round < kGroupingRounds; ++round) {
            for (int p = 0; p < shape.palettes; ++p) {
                setPalette(p, OwnEntries(GroupColours(tiles, result.paletteOfTile, p), shared, own,
                                         device));
            }
            if (round + 1 == kGroupingRounds) {
                break;
            }
            bool moved = false;
            for (std::size_t t = 0; t < tiles.Tiles(); ++t) {
                const int was = result.paletteOfTile[t];
                std::int64_t best =
                    TileError(tiles, t, &result.entries[static_cast<std::size_t>(was) * k],
                              shape.size, std::numeric_limits<std::int64_t>::max());
                for (int p = 0; p < shape.palettes && best > 0; ++p) {
                    const std::int64_t e =
                        TileError(tiles, t, &result.entries[static_cast<std::size_t>(p) * k],
                                  shape.size, best);
                    if (e < best) {
                        best = e;
                        result.paletteOfTile[t] = p;
                    }
                }
                moved = moved || result.paletteOfTile[t] != was;
            }
            if (!moved) {
                break;
            }
        }
    }
    result.exactTile.assign(tiles.Tiles(), false);
    for (std::size_t t = 0; t < tiles.Tiles(); ++t) {
        const Colour* entries =
            &result.entries[static_cast<std::size_t>(result.paletteOfTile[t]) * k];
        result.exactTile[t] = TileError(tiles, t, entries, shape.size, 0) == 0;
    }
    return result;
}

} // namespace tiles
