// The threshold patterns of ordered dithering: Bayer's matrices as the literature prints them,
// the blue-noise mask's grain, and the ordered dithering against the literal one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/quantize/ordered_dither.h"
#include "core/quantize/patterns.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_pattern.h"

namespace {

bool IsPermutation(const quantize::ThresholdPattern& pattern) {
    std::vector<std::uint16_t> sorted = pattern.thresholds;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (sorted[i] != i) {
            return false;
        }
    }
    return sorted.size() == static_cast<std::size_t>(pattern.side * pattern.side);
}

// Bayer's matrices are permutations; the 8 x 8 one is the table everyone prints, and each
// larger one repeats the smaller at its first quarter of the levels: its thresholds divided by
// four are the half-size matrix's, tiled.
TEST(Patterns, BayerMatricesAreTheClassicOnes) {
    constexpr int kClassic[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
        {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
        {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
    };
    const quantize::ThresholdPattern& bayer8 = quantize::PatternOf(quantize::PatternName::Bayer8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(bayer8.At(x, y), kClassic[y][x]) << x << "," << y;
        }
    }
    const quantize::PatternName names[] = {
        quantize::PatternName::Bayer2, quantize::PatternName::Bayer4, quantize::PatternName::Bayer8,
        quantize::PatternName::Bayer16};
    for (int i = 0; i < 4; ++i) {
        const quantize::ThresholdPattern& pattern = quantize::PatternOf(names[i]);
        EXPECT_EQ(pattern.side, 2 << i);
        EXPECT_TRUE(IsPermutation(pattern)) << pattern.side;
        if (i > 0) {
            const quantize::ThresholdPattern& half = quantize::PatternOf(names[i - 1]);
            for (int y = 0; y < pattern.side; ++y) {
                for (int x = 0; x < pattern.side; ++x) {
                    EXPECT_EQ(pattern.At(x, y) / 4, half.At(x, y)) << x << "," << y;
                }
            }
        }
    }
}

// The blue-noise mask: a permutation of 0 to 4095 whose every first n thresholds, for n of
// every 256, lie evenly: each 8 x 8 window of the torus holds within 5 of its share of them
// (white noise strays by 7 to 13), and no two places side by side (or one above the other)
// have thresholds within 128 of each other (white noise: 1), so that no level of grey sets
// two of them at once.
TEST(Patterns, TheBlueNoiseMaskIsEven) {
    const quantize::ThresholdPattern& mask = quantize::PatternOf(quantize::PatternName::BlueNoise);
    ASSERT_EQ(mask.side, 64);
    EXPECT_TRUE(IsPermutation(mask));
    int worst = 0;
    for (int n = 256; n < 4096; n += 256) {
        for (int top = 0; top < 64; ++top) {
            for (int left = 0; left < 64; ++left) {
                int set = 0;
                for (int y = top; y < top + 8; ++y) {
                    for (int x = left; x < left + 8; ++x) {
                        set += mask.At(x, y) < n;
                    }
                }
                worst = std::max(worst, std::abs(64 * set - n));
            }
        }
    }
    EXPECT_LE(worst, 5 * 64);
    int closest = 4096;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            closest = std::min({closest, std::abs(mask.At(x, y) - mask.At(x + 1, y)),
                                std::abs(mask.At(x, y) - mask.At(x, y + 1))});
        }
    }
    EXPECT_GE(closest, 128);
}

// Ordered dithering gives the literal one's indices with every pattern and none, anchored at
// the picture's top left whichever way its rows are stored, with and without a key colour,
// from one thread and two.
TEST(Patterns, OrderedDitheringGivesTheLiteralIndices) {
    std::mt19937 rng(36);
    const std::pair<int, int> sizes[] = {{1, 1}, {7, 3}, {13, 17}, {70, 67}};
    for (const int entries : {256, 16, 2}) {
        quantize::DiffusionPalette palette = testimg::RandomPalette(rng);
        for (const bool key : {false, true}) {
            const quantize::PaletteFacts facts{0, true, entries, key, {}};
            for (int p = -1; p <= static_cast<int>(quantize::PatternName::BlueNoise); ++p) {
                const quantize::ThresholdPattern* pattern =
                    p < 0 ? nullptr : &quantize::PatternOf(static_cast<quantize::PatternName>(p));
                for (const auto& [width, rows] : sizes) {
                    // Noise with a few of the entries' own colours and the key colour in it.
                    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(3 * width * rows));
                    for (std::size_t i = 0; i < bgr.size(); i += 3) {
                        const quantize::PaletteEntry& e = palette[rng() % 4];
                        const bool own = rng() % 5 == 0;
                        bgr[i] = own ? e.blue : static_cast<std::uint8_t>(rng());
                        bgr[i + 1] = own ? e.green : static_cast<std::uint8_t>(rng());
                        bgr[i + 2] = own ? e.red : static_cast<std::uint8_t>(rng());
                    }
                    const auto expected =
                        literal::PatternDither(bgr, width, rows, palette, facts, pattern);
                    for (const bool topDown : {true, false}) {
                        const std::uint64_t stride =
                            (3 * static_cast<std::uint64_t>(width) + 3) & ~3u;
                        const std::uint64_t padded = (static_cast<std::uint64_t>(width) + 3) & ~3u;
                        bmp::TrueColourGeometry g{static_cast<std::uint64_t>(width),
                                                  static_cast<std::uint64_t>(rows), stride, padded};
                        g.topDown = topDown;
                        for (const int threads : {1, 2}) {
                            std::vector<std::uint8_t> stored(static_cast<std::size_t>(stride) *
                                                             static_cast<std::size_t>(rows));
                            for (int y = 0; y < rows; ++y) {
                                const int r = topDown ? y : rows - 1 - y;
                                std::copy_n(&bgr[static_cast<std::size_t>(3 * y * width)],
                                            3 * width,
                                            &stored[static_cast<std::size_t>(
                                                static_cast<std::uint64_t>(r) * stride)]);
                            }
                            quantize::OrderedDither dither(g, palette, facts, threads, pattern);
                            quantize::SilentObserver silent;
                            dither.Run(stored.data(), silent);
                            std::vector<std::uint8_t> indices;
                            for (int y = 0; y < rows; ++y) {
                                const int r = topDown ? y : rows - 1 - y;
                                const auto row =
                                    stored.begin() + static_cast<std::ptrdiff_t>(
                                                         static_cast<std::uint64_t>(r) * padded);
                                indices.insert(indices.end(), row, row + width);
                            }
                            ASSERT_EQ(indices, expected)
                                << "pattern " << p << ", " << entries << " entries, key " << key
                                << ", " << width << "x" << rows << ", top-down " << topDown
                                << ", threads " << threads;
                        }
                    }
                }
            }
        }
    }
}

} // namespace
