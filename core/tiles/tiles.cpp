#include "core/tiles/tiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "core/bmp/layout.h"
#include "core/bmp/true_colour.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/kernels.h"
#include "core/quantize/patterns.h"
#include "core/tiles/tile_palettes.h"

namespace tiles {
namespace {

// The shared entries: the user's fixed colours, then the image's most frequent colours on the
// device (the backdrop a tile map shows behind everything).
std::vector<std::uint32_t> SharedEntries(const TileInput& input,
                                         const std::vector<std::uint8_t>& rgb,
                                         const quantize::DeviceColours& device) {
    std::vector<std::uint32_t> shared;
    for (int e = 0; e < input.fixedCount; ++e) {
        const std::uint8_t* bgr = input.fixedTable + 4 * e;
        shared.push_back(static_cast<std::uint32_t>(bgr[2] << 16 | bgr[1] << 8 | bgr[0]));
    }
    if (static_cast<int>(shared.size()) >= input.shape.shared) {
        return shared;
    }
    std::vector<std::uint32_t> all;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        all.push_back(device.Nearest(rgb[i], rgb[i + 1], rgb[i + 2]));
    }
    std::sort(all.begin(), all.end());
    std::vector<std::pair<std::uint64_t, std::uint32_t>> counts; // pixels (negated), colour
    for (std::size_t i = 0; i < all.size();) {
        std::size_t j = i;
        while (j < all.size() && all[j] == all[i]) {
            ++j;
        }
        counts.push_back({j - i, all[i]});
        i = j;
    }
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& c : counts) {
        if (static_cast<int>(shared.size()) == input.shape.shared) {
            break;
        }
        if (std::find(shared.begin(), shared.end(), c.second) == shared.end()) {
            shared.push_back(c.second);
        }
    }
    while (static_cast<int>(shared.size()) < input.shape.shared) {
        shared.push_back(0); // an image of fewer colours than shared entries
    }
    return shared;
}

// The nearest of a palette's entries to (red, green, blue); with the key, entry 0 is for the
// key colour's pixels only.
int Nearest(const std::uint32_t* palette, int size, int first, const int rgb[3]) {
    int best = first, bestDistance = std::numeric_limits<int>::max();
    for (int e = first; e < size; ++e) {
        const std::uint32_t c = palette[e];
        const int dr = static_cast<int>(c >> 16 & 0xFF) - rgb[0];
        const int dg = static_cast<int>(c >> 8 & 0xFF) - rgb[1];
        const int db = static_cast<int>(c & 0xFF) - rgb[2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            best = e;
            bestDistance = d;
        }
    }
    return best;
}

// The typical step between a palette's entries: half the mean distance from each entry to its
// nearest other, the spread of an ordered pattern.
int Spread(const std::uint32_t* palette, int size) {
    double sum = 0;
    for (int e = 0; e < size; ++e) {
        int best = std::numeric_limits<int>::max();
        for (int o = 0; o < size; ++o) {
            if (o != e && palette[o] != palette[e]) {
                const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(palette[o] >> 16),
                                             static_cast<std::uint8_t>(palette[o] >> 8),
                                             static_cast<std::uint8_t>(palette[o])};
                best = std::min(best, Distance(palette[e], rgb));
            }
        }
        sum += best == std::numeric_limits<int>::max() ? 0 : std::sqrt(best);
    }
    return static_cast<int>(sum / size / 2);
}

// Dithers tile t onto its palette: the error carried within the tile only (a tile's own
// palette differs from its neighbours', so an error carried across would show as seams), or an
// ordered pattern counted from the image's top left, or none.
void DitherTile(const TileGrid& grid, std::uint64_t t, const std::uint32_t* palette,
                const TileInput& input, std::uint8_t base, std::uint8_t* out,
                std::uint64_t outStride, bool topDown) {
    const int K = input.shape.size;
    const quantize::DitherMethod method = input.stages.dither;
    const bool key = input.choices.key && input.fixedCount >= 1;
    const int strength = std::clamp(input.choices.strength, 0, 100);
    const quantize::Kernel& kernel =
        *quantize::kKernels[static_cast<std::size_t>(input.choices.kernel)];
    const quantize::ThresholdPattern* pattern = method == quantize::DitherMethod::Ordered
                                                    ? &quantize::PatternOf(input.choices.pattern)
                                                    : nullptr;
    const int spread = pattern != nullptr ? Spread(palette, K) : 0;
    const int w = input.shape.width, h = input.shape.height;
    std::vector<int> error(static_cast<std::size_t>(3 * (w + 8) * (h + 3)), 0);
    const auto at = [&](int x, int y) {
        return &error[static_cast<std::size_t>(3 * ((y * (w + 8)) + x + 4))];
    };
    const std::uint64_t x0 = t % grid.Across() * static_cast<std::uint64_t>(w);
    const std::uint64_t y0 = t / grid.Across() * static_cast<std::uint64_t>(h);
    for (int ty = 0; ty < h && y0 + static_cast<std::uint64_t>(ty) < grid.rows; ++ty) {
        const bool back = kernel.serpentine && input.choices.serpentine && ty % 2 == 1;
        const int across = static_cast<int>(std::min<std::uint64_t>(w, grid.width - x0));
        for (int i = 0; i < across; ++i) {
            const int tx = back ? across - 1 - i : i;
            const std::uint64_t x = x0 + static_cast<std::uint64_t>(tx),
                                y = y0 + static_cast<std::uint64_t>(ty);
            const std::uint8_t* p = grid.rgb + 3 * (y * grid.width + x);
            const std::uint32_t colour = static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
            int e;
            if (key && colour == palette[0]) {
                e = 0;
            } else if (method == quantize::DitherMethod::Kernel) {
                int want[3];
                for (int c = 0; c < 3; ++c) {
                    want[c] = std::clamp(p[c] + at(tx, ty)[c] / 16 / kernel.divisor, 0, 255);
                }
                e = Nearest(palette, K, key ? 1 : 0, want);
                const std::uint32_t got = palette[e];
                for (int c = 0; c < 3; ++c) {
                    const int diff = (want[c] - static_cast<int>(got >> (16 - 8 * c) & 0xFF)) * 16 *
                                     strength / 100;
                    for (int k = 0; k < kernel.count; ++k) {
                        const quantize::Tap& tap = kernel.taps[k];
                        const int nx = tx + (back ? -tap.dx : tap.dx), ny = ty + tap.dy;
                        if (nx >= 0 && nx < across && ny < h) {
                            at(nx, ny)[c] += diff * tap.weight;
                        }
                    }
                }
            } else {
                const int n = pattern != nullptr ? pattern->side * pattern->side : 1;
                const int shift =
                    pattern != nullptr
                        ? (2 * pattern->At(static_cast<int>(x), static_cast<int>(y)) + 1 - n) *
                              spread / n
                        : 0;
                const int want[3] = {std::clamp(p[0] + shift, 0, 255),
                                     std::clamp(p[1] + shift, 0, 255),
                                     std::clamp(p[2] + shift, 0, 255)};
                e = Nearest(palette, K, key ? 1 : 0, want);
            }
            const std::uint64_t row = topDown ? y : grid.rows - 1 - y;
            out[row * outStride + x] = static_cast<std::uint8_t>(base + e);
        }
    }
}

} // namespace

quantize::Result ConvertTiles(std::uint8_t* data, std::uint64_t size,
                              const quantize::Resizer& resize, const TileInput& input,
                              quantize::DiffusionObserver& observer, TileReport* report) try {
    if (CheckShape(input.shape, input.fixedCount) != ShapeProblem::Fine) {
        return {quantize::Outcome::UnsupportedLayout, size};
    }
    // An indexed image is converted as the colours it shows.
    std::vector<std::uint8_t> expanded;
    bmp::TrueColourSource source;
    auto problem = bmp::CheckTrueColourSource(data, size, source);
    if (problem == bmp::SourceProblem::AlreadyIndexed && bmp::ExpandIndexed(data, size, expanded)) {
        problem = bmp::CheckTrueColourSource(expanded.data(), expanded.size(), source);
    }
    if (problem) {
        return {quantize::OutcomeOf(*problem), size};
    }
    const bmp::TrueColourGeometry g = source.geometry;
    const std::uint64_t needed =
        std::max(bmp::k8BitPixelData + g.rows * g.padded,
                 expanded.empty() ? bmp::PlainSize(source) : expanded.size());
    std::uint64_t blockSize = size;
    if (needed > size) {
        const quantize::ResizeResult grown = resize(needed);
        if (!grown.resized) {
            return {quantize::Outcome::NoMemory, size};
        }
        data = grown.data;
        blockSize = needed;
    }
    if (expanded.empty()) {
        bmp::RewriteAsPlain24(data, source);
    } else {
        std::memcpy(data, expanded.data(), expanded.size());
        std::vector<std::uint8_t>().swap(expanded);
    }
    // The picture's pixels, red, green, blue, from the top.
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(3 * g.width * g.rows));
    for (std::uint64_t y = 0; y < g.rows; ++y) {
        const std::uint8_t* row =
            data + bmp::kHeadersSize + (g.topDown ? y : g.rows - 1 - y) * g.stride;
        for (std::uint64_t x = 0; x < g.width; ++x) {
            std::uint8_t* p = &rgb[static_cast<std::size_t>(3 * (y * g.width + x))];
            p[0] = row[3 * x + 2], p[1] = row[3 * x + 1], p[2] = row[3 * x];
        }
    }
    observer.Phase(3);
    const TileShape& shape = input.shape;
    const quantize::DeviceColours device(shape.depth, nullptr, 0);
    const TileGrid grid{rgb.data(), g.width, g.rows, shape.width, shape.height};
    const TilePalettes palettes = ChooseTilePalettes(grid, shape.palettes, shape.size,
                                                     SharedEntries(input, rgb, device), device);
    observer.PaletteComplete();
    observer.Phase(2);
    std::uint8_t* const indices = data + bmp::kHeadersSize;
    for (std::uint64_t t = 0; t < grid.Count(); ++t) {
        const int p = palettes.paletteOf[static_cast<std::size_t>(t)];
        DitherTile(grid, t, &palettes.colours[static_cast<std::size_t>(p * shape.size)], input,
                   static_cast<std::uint8_t>(p * shape.size), indices, g.padded, g.topDown);
        observer.Progress(static_cast<std::int64_t>(t + 1),
                          static_cast<std::int64_t>(grid.Count()));
    }
    quantize::IndexedImage image;
    image.width = g.width;
    image.rows = g.rows;
    image.stride = g.padded;
    image.indices = indices;
    image.topDown = g.topDown;
    image.entries = shape.palettes * shape.size;
    for (int e = 0; e < image.entries; ++e) {
        const std::uint32_t c = palettes.colours[static_cast<std::size_t>(e)];
        image.table[static_cast<std::size_t>(3 * e)] = static_cast<std::uint8_t>(c >> 16);
        image.table[static_cast<std::size_t>(3 * e + 1)] = static_cast<std::uint8_t>(c >> 8);
        image.table[static_cast<std::size_t>(3 * e + 2)] = static_cast<std::uint8_t>(c);
    }
    if (report != nullptr) {
        report->tilesOfPalette.assign(static_cast<std::size_t>(shape.palettes), 0);
        for (const int p : palettes.paletteOf) {
            ++report->tilesOfPalette[static_cast<std::size_t>(p)];
        }
        double squares = 0;
        for (std::uint64_t y = 0; y < g.rows; ++y) {
            const std::uint8_t* row = indices + (g.topDown ? y : g.rows - 1 - y) * g.padded;
            for (std::uint64_t x = 0; x < g.width; ++x) {
                const std::uint8_t* p = &rgb[static_cast<std::size_t>(3 * (y * g.width + x))];
                squares += Distance(palettes.colours[row[x]], p);
            }
        }
        const double mse = squares / (3.0 * static_cast<double>(g.width * g.rows));
        report->psnr = mse == 0 ? std::numeric_limits<double>::infinity()
                                : 10 * std::log10(255.0 * 255.0 / mse);
    }
    const std::uint64_t newSize = quantize::WriteBmp8InPlace(data, image);
    if (newSize < blockSize) {
        resize(newSize);
    }
    observer.Finished();
    return {quantize::Outcome::Converted, newSize};
} catch (const std::bad_alloc&) {
    return {quantize::Outcome::NoMemory, size};
}

} // namespace tiles
