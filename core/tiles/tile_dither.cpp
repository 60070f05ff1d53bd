// Each tile dithered onto its own palette. One pass over the image, its rows in turn (from
// either side where the kernel is serpentine); each pixel takes the nearest entry of its tile's
// palette to its colour plus the error passed to it, and passes its own error on by the
// kernel's taps to pixels of the same tile only: error carried over a tile's border lands in a
// tile of another palette, which cannot answer it and shows the border as a seam (measured:
// kept within tiles it scores higher). Portable: no platform headers.
#include "core/tiles/tile_dither.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/quantize/kernels.h"
#include "core/quantize/patterns.h"

namespace tiles {
namespace {

using Value = std::array<float, 3>;

// Whether error passes over tile borders.
constexpr bool kCarryAcrossBorders = false;

int Nearest(const Value& v, const std::uint32_t* entries, int first, int count) {
    int best = first;
    float bestDistance = std::numeric_limits<float>::max();
    for (int i = first; i < count; ++i) {
        const std::uint32_t c = entries[i];
        const float dr = v[0] - static_cast<float>(c >> 16 & 255);
        const float dg = v[1] - static_cast<float>(c >> 8 & 255);
        const float db = v[2] - static_cast<float>(c & 255);
        const float d = dr * dr + 2 * dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

Value ValueOf(std::uint32_t c) {
    return {static_cast<float>(c >> 16 & 255), static_cast<float>(c >> 8 & 255),
            static_cast<float>(c & 255)};
}

} // namespace

std::vector<std::uint8_t> DitherTiles(const TiledImage& image, const TileShape& shape,
                                      const TilePalettes& palettes, const quantize::Stages& stages,
                                      const quantize::Choices& choices, bool key,
                                      std::uint32_t keyColour) {
    const auto width = static_cast<std::size_t>(image.width);
    std::vector<std::uint8_t> indices(width * static_cast<std::size_t>(image.height));
    const quantize::Kernel& kernel =
        *quantize::kKernels[static_cast<std::size_t>(choices.kernel) %
                            static_cast<std::size_t>(quantize::kKernelCount)];
    const bool diffuses = stages.dither == quantize::DitherMethod::Kernel ||
                          stages.dither == quantize::DitherMethod::ThreeNeighbour;
    const bool ordered = stages.dither == quantize::DitherMethod::Ordered;
    const quantize::ThresholdPattern* pattern =
        ordered ? &quantize::PatternOf(choices.pattern) : nullptr;
    const float strength = static_cast<float>(choices.strength) / 100.0f;
    // A pattern's spread: about the distance between a palette's entries.
    const float spread = 0.5f * 255.0f / std::cbrt(static_cast<float>(shape.size)) * strength;
    const int depth = kernel.Depth();
    const int reach = kernel.Reach();
    const std::size_t rowLength = width + 2 * static_cast<std::size_t>(reach);
    // Rows of error, the current one and those below it, in turn.
    std::vector<Value> errors(diffuses ? rowLength * static_cast<std::size_t>(depth + 1) : 0,
                              Value{0, 0, 0});
    const auto errorAt = [&](int x, int y) -> Value& {
        return errors[static_cast<std::size_t>(y % (depth + 1)) * rowLength +
                      static_cast<std::size_t>(x + reach)];
    };
    const int k = shape.size;
    const int first = key ? 1 : 0;
    for (int y = 0; y < image.height; ++y) {
        const bool back = diffuses && choices.serpentine && kernel.serpentine && y % 2 == 1;
        const int dir = back ? -1 : 1;
        for (int step = 0; step < image.width; ++step) {
            const int x = back ? image.width - 1 - step : step;
            const std::size_t at =
                static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x);
            const std::uint32_t pixel = image.pixels[at];
            const int tile = image.TileOf(x, y);
            const int p = palettes.paletteOfTile[static_cast<std::size_t>(tile)];
            const std::uint32_t* entries = &palettes.entries[static_cast<std::size_t>(p * k)];
            Value v = ValueOf(pixel);
            int i = 0;
            if (key && pixel == keyColour) {
                i = 0;
            } else if (palettes.exactTile[static_cast<std::size_t>(tile)]) {
                i = Nearest(v, entries, first, k);
            } else if (ordered) {
                const float offset = (static_cast<float>(pattern->At(x, y)) + 0.5f) /
                                         static_cast<float>(pattern->side * pattern->side) -
                                     0.5f;
                for (float& c : v) {
                    c += offset * spread;
                }
                i = Nearest(v, entries, first, k);
            } else if (diffuses) {
                Value& carried = errorAt(x, y);
                for (std::size_t c = 0; c < 3; ++c) {
                    v[c] = std::clamp(v[c] + carried[c], 0.0f, 255.0f);
                }
                i = Nearest(v, entries, first, k);
                const Value got = ValueOf(entries[i]);
                for (int tap = 0; tap < kernel.count; ++tap) {
                    const int tx = x + kernel.taps[tap].dx * dir;
                    const int ty = y + kernel.taps[tap].dy;
                    if (tx < 0 || tx >= image.width || ty >= image.height ||
                        (!kCarryAcrossBorders && image.TileOf(tx, ty) != tile)) {
                        continue;
                    }
                    const float share = strength * static_cast<float>(kernel.taps[tap].weight) /
                                        static_cast<float>(kernel.divisor);
                    Value& to = errorAt(tx, ty);
                    for (std::size_t c = 0; c < 3; ++c) {
                        to[c] += (v[c] - got[c]) * share;
                    }
                }
            } else {
                i = Nearest(v, entries, first, k);
            }
            indices[at] = static_cast<std::uint8_t>(p * k + i);
        }
        if (diffuses) {
            for (int x = -reach; x < image.width + reach; ++x) {
                errorAt(x, y) = Value{0, 0, 0};
            }
        }
    }
    return indices;
}

} // namespace tiles
