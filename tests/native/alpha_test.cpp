// Palettes with alpha: an image of few colours with alpha keeps every pixel, its fully
// transparent pixels share one entry (the key colour's entry 0 with a key), and the entries
// below full alpha come first; the bigger images keep those rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/quantize/alpha_palette.h"
#include "core/quantize/alpha_remap.h"

namespace {

using quantize::AlphaPalette;
using quantize::RgbaEntry;

// width x height pixels: a third fully transparent (of several colours), a third of a few
// alphas, the rest opaque; at most `levels` levels a channel.
std::vector<std::uint8_t> SoftImage(int width, int height, int levels) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int band = (x + 2 * y) % 3;
            const auto level = [&](int k) {
                return static_cast<std::uint8_t>((x * k + y * (k + 3)) % levels * 255 /
                                                 (levels - 1));
            };
            const auto alpha = static_cast<std::uint8_t>(band == 0   ? 0
                                                         : band == 1 ? 64 * (x % 3 + 1)
                                                                     : 255);
            rgba.insert(rgba.end(), {level(1), level(2), level(5), alpha});
        }
    }
    return rgba;
}

std::vector<std::uint8_t> Remapped(const std::vector<std::uint8_t>& rgba, int width,
                                   const AlphaPalette& palette) {
    const int height = static_cast<int>(rgba.size() / 4) / width;
    std::vector<std::uint8_t> indices(rgba.size() / 4);
    quantize::RemapWithAlpha(rgba.data(), static_cast<std::uint64_t>(width),
                             static_cast<std::uint64_t>(height), palette, {}, indices.data(),
                             width);
    return indices;
}

// The rules every palette keeps: entry 0 is the transparent one and only fully transparent
// pixels take it; no entry of full alpha before one below it; every index in range.
void ExpectTheRules(const std::vector<std::uint8_t>& rgba, const AlphaPalette& palette,
                    const std::vector<std::uint8_t>& indices) {
    ASSERT_GT(palette.count, 0);
    EXPECT_EQ(palette.entries[0].alpha, 0);
    for (int e = 1; e < palette.count; ++e) {
        EXPECT_LE(palette.entries[static_cast<std::size_t>(e - 1)].alpha,
                  palette.entries[static_cast<std::size_t>(e)].alpha)
            << e;
    }
    for (std::size_t i = 0; i < indices.size(); ++i) {
        ASSERT_LT(indices[i], palette.count);
        if (rgba[4 * i + 3] == 0) {
            ASSERT_EQ(indices[i], 0) << i;
        }
    }
}

TEST(AlphaPalette, FewColoursKeepEveryPixelAndTransparentOnesShareEntryZero) {
    const std::vector<std::uint8_t> rgba = SoftImage(13, 11, 4);
    for (const bool key : {false, true}) {
        quantize::AlphaChoices choices;
        choices.key = key;
        choices.keyColour = {1, 2, 3, 0};
        const AlphaPalette palette = quantize::ChooseAlphaPalette(rgba.data(), 13 * 11, choices);
        const std::vector<std::uint8_t> indices = Remapped(rgba, 13, palette);
        ExpectTheRules(rgba, palette, indices);
        EXPECT_EQ(palette.entries[0], (key ? RgbaEntry{1, 2, 3, 0} : RgbaEntry{}));
        for (std::size_t i = 0; i < indices.size(); ++i) {
            if (rgba[4 * i + 3] != 0) {
                const RgbaEntry& entry = palette.entries[indices[i]];
                ASSERT_EQ(entry, (RgbaEntry{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2],
                                            rgba[4 * i + 3]}))
                    << i;
            }
        }
    }
    // An opaque image has no transparent entry unless the key asks for it.
    const std::vector<std::uint8_t> opaque(4 * 10, 255);
    EXPECT_EQ(quantize::ChooseAlphaPalette(opaque.data(), 10, {}).count, 1);
    quantize::AlphaChoices keyed;
    keyed.key = true;
    const AlphaPalette withKey = quantize::ChooseAlphaPalette(opaque.data(), 10, keyed);
    ASSERT_EQ(withKey.count, 2);
    EXPECT_EQ(withKey.entries[0].alpha, 0);
    EXPECT_EQ(Remapped(opaque, 10, withKey), std::vector<std::uint8_t>(10, 1));
}

// Thousands of colours onto 16 entries, dithered: the rules hold, every entry is used, the
// result composited over black stays near the original (each pixel's error passed on, none
// piling up), and two threads choose the palette one thread does.
TEST(AlphaPalette, ManyColoursOntoFewEntries) {
    const int width = 97, height = 61;
    const std::vector<std::uint8_t> rgba = SoftImage(width, height, 64);
    quantize::AlphaChoices choices;
    choices.colours = 16;
    choices.threads = 1;
    const AlphaPalette palette = quantize::ChooseAlphaPalette(rgba.data(), width * height, choices);
    EXPECT_EQ(palette.count, 16);
    choices.threads = 2; // the k-means passes' halves add up to the same sums
    EXPECT_EQ(quantize::ChooseAlphaPalette(rgba.data(), width * height, choices).entries,
              palette.entries);
    const std::vector<std::uint8_t> indices = Remapped(rgba, width, palette);
    ExpectTheRules(rgba, palette, indices);
    std::vector<bool> used(16, false);
    std::int64_t error = 0;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        used[indices[i]] = true;
        const RgbaEntry& e = palette.entries[indices[i]];
        const int a = rgba[4 * i + 3];
        for (int c = 0; c < 3; ++c) {
            const std::uint8_t* channel = &e.red;
            error +=
                std::abs(rgba[4 * i + static_cast<std::size_t>(c)] * a - channel[c] * e.alpha) /
                255;
        }
    }
    EXPECT_EQ(std::count(used.begin(), used.end(), true), 16);
    EXPECT_LT(error / static_cast<std::int64_t>(3 * indices.size()), 24);
}

} // namespace
