#include "core/tiles/tile_palettes.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace tiles {
namespace {

constexpr int kRounds = 5; // palettes chosen, then tiles given the palette that serves them best
constexpr int kMeansPasses = 6;         // k-means passes of a palette's own entries
constexpr std::size_t kExact = 4096;    // a group's colours counted one by one up to this many
constexpr std::size_t kLarge = 1 << 16; // the tiles' colours of a group sorted up to this many

struct Counted {
    std::uint32_t colour;
    std::uint64_t count;
};

std::uint32_t Rgb(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

int Channel(std::uint32_t c, int k) {
    return static_cast<int>(c >> (16 - 8 * k) & 0xFF);
}

int ColourDistance(std::uint32_t a, std::uint32_t b) {
    const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(Channel(b, 0)),
                                 static_cast<std::uint8_t>(Channel(b, 1)),
                                 static_cast<std::uint8_t>(Channel(b, 2))};
    return Distance(a, rgb);
}

// A tile's colours, each once with its pixels.
std::vector<Counted> TileColours(const TileGrid& grid, std::uint64_t t) {
    std::vector<std::uint32_t> all;
    grid.ForEachPixel(
        t, [&](const std::uint8_t* p, std::uint64_t, std::uint64_t) { all.push_back(Rgb(p)); });
    std::sort(all.begin(), all.end());
    std::vector<Counted> colours;
    for (const std::uint32_t c : all) {
        if (colours.empty() || colours.back().colour != c) {
            colours.push_back({c, 0});
        }
        ++colours.back().count;
    }
    return colours;
}

// What a palette's K entries cost a tile: its pixels' squared distances to their nearest; once
// past `bound`, anything above it.
std::uint64_t Cost(const std::vector<Counted>& tile, const std::uint32_t* palette, int size,
                   std::uint64_t bound) {
    std::uint64_t cost = 0;
    for (const Counted& c : tile) {
        if (cost > bound) {
            return cost;
        }
        int best = std::numeric_limits<int>::max();
        for (int e = 0; e < size && best > 0; ++e) {
            best = std::min(best, ColourDistance(palette[e], c.colour));
        }
        cost += c.count * static_cast<std::uint64_t>(best);
    }
    return cost;
}

// The colours of a group's tiles: one by one while there are at most kExact of them (among
// at most kLarge of the tiles' own), else their means in bins of 5 bits a channel.
std::vector<Counted> GroupColours(const std::vector<std::vector<Counted>>& tiles,
                                  const std::vector<int>& paletteOf, int p) {
    std::vector<Counted> pool;
    for (std::size_t t = 0; t < tiles.size(); ++t) {
        if (paletteOf[t] == p) {
            pool.insert(pool.end(), tiles[t].begin(), tiles[t].end());
        }
    }
    // A large group (more pixel colours than kLarge) goes to bins without being sorted.
    std::vector<Counted> merged;
    if (pool.size() <= kLarge) {
        std::sort(pool.begin(), pool.end(),
                  [](const Counted& a, const Counted& b) { return a.colour < b.colour; });
        for (const Counted& c : pool) {
            if (!merged.empty() && merged.back().colour == c.colour) {
                merged.back().count += c.count;
            } else {
                merged.push_back(c);
            }
        }
        if (merged.size() <= kExact) {
            return merged;
        }
    } else {
        merged.swap(pool);
    }
    std::vector<std::array<std::uint64_t, 4>> bins(1 << 15);
    for (const Counted& c : merged) {
        const std::size_t bin =
            (c.colour >> 9 & 0x7C00) | (c.colour >> 6 & 0x3E0) | (c.colour >> 3 & 0x1F);
        for (int k = 0; k < 3; ++k) {
            bins[bin][static_cast<std::size_t>(k)] +=
                c.count * static_cast<std::uint64_t>(Channel(c.colour, k));
        }
        bins[bin][3] += c.count;
    }
    std::vector<Counted> binned;
    for (const auto& b : bins) {
        if (b[3] != 0) {
            const auto mean = [&](int k) {
                return static_cast<std::uint32_t>((b[static_cast<std::size_t>(k)] + b[3] / 2) /
                                                  b[3]);
            };
            binned.push_back({mean(0) << 16 | mean(1) << 8 | mean(2), b[3]});
        }
    }
    return binned;
}

// A palette's own entries for the colours of its tiles: the colours themselves where they fit,
// else weighted k-means from centres spread by farthest-first, every entry a device colour and
// none like another entry of the palette.
void ChooseOwn(const std::vector<Counted>& pool, std::uint32_t* palette, int shared, int size,
               const quantize::DeviceColours& device) {
    const int own = size - shared;
    std::vector<std::uint32_t> centres;
    std::vector<Counted> onDevice;
    for (const Counted& c : pool) {
        const std::uint32_t d =
            device.Nearest(Channel(c.colour, 0), Channel(c.colour, 1), Channel(c.colour, 2));
        if (std::find(palette, palette + shared, d) == palette + shared &&
            std::none_of(onDevice.begin(), onDevice.end(),
                         [d](const Counted& o) { return o.colour == d; })) {
            onDevice.push_back({d, c.count});
        }
    }
    if (static_cast<int>(onDevice.size()) <= own) {
        for (const Counted& c : onDevice) {
            centres.push_back(c.colour);
        }
    } else {
        // The most frequent colour first, then each time the colour farthest from every centre.
        std::vector<int> nearest(pool.size(), std::numeric_limits<int>::max());
        std::size_t next = static_cast<std::size_t>(
            std::max_element(pool.begin(), pool.end(),
                             [](const Counted& a, const Counted& b) { return a.count < b.count; }) -
            pool.begin());
        while (static_cast<int>(centres.size()) < own) {
            centres.push_back(pool[next].colour);
            for (std::size_t i = 0; i < pool.size(); ++i) {
                nearest[i] = std::min(nearest[i], ColourDistance(centres.back(), pool[i].colour));
            }
            next = static_cast<std::size_t>(std::max_element(nearest.begin(), nearest.end()) -
                                            nearest.begin());
        }
        for (int pass = 0; pass < kMeansPasses; ++pass) {
            std::vector<std::array<std::uint64_t, 4>> sums(centres.size());
            for (const Counted& c : pool) {
                std::size_t best = 0;
                int bestDistance = std::numeric_limits<int>::max();
                for (std::size_t k = 0; k < centres.size(); ++k) {
                    const int d = ColourDistance(centres[k], c.colour);
                    if (d < bestDistance) {
                        best = k;
                        bestDistance = d;
                    }
                }
                for (int k = 0; k < 3; ++k) {
                    sums[best][static_cast<std::size_t>(k)] +=
                        c.count * static_cast<std::uint64_t>(Channel(c.colour, k));
                }
                sums[best][3] += c.count;
            }
            for (std::size_t k = 0; k < centres.size(); ++k) {
                const auto& s = sums[k];
                if (s[3] != 0) {
                    const auto mean = [&](int c) {
                        return static_cast<std::uint32_t>(
                            (s[static_cast<std::size_t>(c)] + s[3] / 2) / s[3]);
                    };
                    centres[k] = mean(0) << 16 | mean(1) << 8 | mean(2);
                }
            }
        }
    }
    // On the device, none repeating an entry before it.
    for (int k = 0; k < own; ++k) {
        std::uint32_t c =
            k < static_cast<int>(centres.size()) ? centres[static_cast<std::size_t>(k)] : 0;
        c = device.Nearest(Channel(c, 0), Channel(c, 1), Channel(c, 2));
        const auto taken = [&](std::uint32_t colour) {
            return std::find(palette, palette + shared + k, colour) != palette + shared + k;
        };
        if (taken(c)) {
            device.NearestFree(Channel(c, 0), Channel(c, 1), Channel(c, 2), taken, c);
        }
        palette[shared + k] = c;
    }
}

} // namespace

TilePalettes ChooseTilePalettes(const TileGrid& grid, int palettes, int size,
                                const std::vector<std::uint32_t>& shared,
                                const quantize::DeviceColours& device) {
    const int P = palettes, K = size, N = static_cast<int>(shared.size());
    const std::size_t count = static_cast<std::size_t>(grid.Count());
    std::vector<std::vector<Counted>> tiles(count);
    std::vector<std::array<std::uint64_t, 3>> means(count);
    for (std::size_t t = 0; t < count; ++t) {
        tiles[t] = TileColours(grid, t);
        std::array<std::uint64_t, 4> sum{};
        for (const Counted& c : tiles[t]) {
            for (int k = 0; k < 3; ++k) {
                sum[static_cast<std::size_t>(k)] +=
                    c.count * static_cast<std::uint64_t>(Channel(c.colour, k));
            }
            sum[3] += c.count;
        }
        for (int k = 0; k < 3; ++k) {
            means[t][static_cast<std::size_t>(k)] = sum[static_cast<std::size_t>(k)] / sum[3];
        }
    }
    const auto meanDistance = [&](std::size_t a, std::size_t b) {
        std::uint64_t d = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const std::int64_t diff =
                static_cast<std::int64_t>(means[a][k]) - static_cast<std::int64_t>(means[b][k]);
            d += static_cast<std::uint64_t>(diff * diff);
        }
        return d;
    };
    TilePalettes result;
    result.colours.assign(static_cast<std::size_t>(P * K), 0);
    result.paletteOf.assign(count, 0);
    // First groups: tiles by their mean colours, around P tiles spread by farthest-first.
    std::vector<std::size_t> seeds{0};
    std::vector<std::uint64_t> nearest(count, std::numeric_limits<std::uint64_t>::max());
    while (static_cast<int>(seeds.size()) < P && seeds.size() < count) {
        for (std::size_t t = 0; t < count; ++t) {
            nearest[t] = std::min(nearest[t], meanDistance(t, seeds.back()));
        }
        const auto far = std::max_element(nearest.begin(), nearest.end());
        if (*far == 0) {
            break; // every tile's mean is a seed's
        }
        seeds.push_back(static_cast<std::size_t>(far - nearest.begin()));
    }
    for (std::size_t t = 0; t < count; ++t) {
        std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
        for (std::size_t s = 0; s < seeds.size(); ++s) {
            const std::uint64_t d = meanDistance(t, seeds[s]);
            if (d < best) {
                best = d;
                result.paletteOf[t] = static_cast<int>(s);
            }
        }
    }
    for (int round = 0; round < kRounds; ++round) {
        for (int p = 0; p < P; ++p) {
            std::uint32_t* palette = &result.colours[static_cast<std::size_t>(p * K)];
            std::copy(shared.begin(), shared.end(), palette);
            ChooseOwn(GroupColours(tiles, result.paletteOf, p), palette, N, K, device);
        }
        if (round + 1 == kRounds) {
            break;
        }
        // Each tile to the palette that serves it best (the lower palette on a tie); a palette
        // no tile took is given the tile served worst.
        std::vector<std::uint64_t> costs(count);
        std::vector<int> taken(static_cast<std::size_t>(P), 0);
        for (std::size_t t = 0; t < count; ++t) {
            std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
            for (int p = 0; p < P; ++p) {
                const std::uint64_t c =
                    Cost(tiles[t], &result.colours[static_cast<std::size_t>(p * K)], K, best);
                if (c < best) {
                    best = c;
                    result.paletteOf[t] = p;
                }
            }
            costs[t] = best;
            ++taken[static_cast<std::size_t>(result.paletteOf[t])];
        }
        for (int p = 0; p < P; ++p) {
            const auto worst = std::max_element(costs.begin(), costs.end());
            if (taken[static_cast<std::size_t>(p)] == 0 && worst != costs.end() && *worst > 0) {
                result.paletteOf[static_cast<std::size_t>(worst - costs.begin())] = p;
                *worst = 0;
            }
        }
    }
    return result;
}

} // namespace tiles
