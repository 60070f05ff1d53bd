#include "tests/support/literal_pattern.h"

#include <algorithm>

namespace literal {
namespace {

int SquaredDistance(const quantize::PaletteEntry& a, const int bgr[3]) {
    const int db = a.blue - bgr[0], dg = a.green - bgr[1], dr = a.red - bgr[2];
    return db * db + dg * dg + dr * dr;
}

// The whole number nearest the square root of n.
int NearestRoot(int n) {
    int r = 0;
    while ((r + 1) * (r + 1) <= n) {
        ++r;
    }
    return n - r * r > r ? r + 1 : r;
}

} // namespace

std::vector<std::uint8_t> PatternDither(const std::vector<std::uint8_t>& pixels, int width,
                                        int rows, const quantize::DiffusionPalette& palette,
                                        const quantize::PaletteFacts& facts,
                                        const quantize::ThresholdPattern* pattern) {
    const int first = facts.key ? 1 : 0;
    // The width: the median (the upper of two middle ones) of each entry's distance to its
    // nearest other entry of another colour.
    std::vector<int> gaps;
    for (int e = first; e < facts.entries; ++e) {
        const int own[3] = {palette[e].blue, palette[e].green, palette[e].red};
        int nearest = -1;
        for (int o = first; o < facts.entries; ++o) {
            const int d = SquaredDistance(palette[o], own);
            if (o != e && d > 0 && (nearest < 0 || d < nearest)) {
                nearest = d;
            }
        }
        if (nearest > 0) {
            gaps.push_back(NearestRoot(nearest));
        }
    }
    std::sort(gaps.begin(), gaps.end());
    const int spread = pattern == nullptr || gaps.empty() ? 0 : gaps[gaps.size() / 2];
    const int levels = pattern == nullptr ? 1 : pattern->side * pattern->side;

    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width * rows));
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &pixels[static_cast<std::size_t>(3 * (y * width + x))];
            int entry = -1;
            for (int e = 0; e < facts.entries && entry < 0; ++e) {
                if (palette[e].blue == p[0] && palette[e].green == p[1] && palette[e].red == p[2]) {
                    entry = e;
                }
            }
            if (entry < 0) {
                // The threshold t of 0 .. levels - 1 moves every channel by (t + 1/2) / levels
                // - 1/2 of the width, rounded half away from zero.
                const int t = pattern == nullptr ? 0 : pattern->At(x, y);
                const int twice = (2 * t + 1 - levels) * spread; // 2 * levels times the move
                const int move = twice >= 0 ? (twice + levels) / (2 * levels)
                                            : -((-twice + levels) / (2 * levels));
                const int moved[3] = {std::clamp(p[0] + move, 0, 255),
                                      std::clamp(p[1] + move, 0, 255),
                                      std::clamp(p[2] + move, 0, 255)};
                for (int e = first; e < facts.entries; ++e) {
                    if (entry < 0 || SquaredDistance(palette[e], moved) <
                                         SquaredDistance(palette[entry], moved)) {
                        entry = e;
                    }
                }
            }
            indices[static_cast<std::size_t>(y * width + x)] = static_cast<std::uint8_t>(entry);
        }
    }
    return indices;
}

} // namespace literal
