// Tile images: every tile drawn with one palette's entries, shared entries alike in every
// palette, and images that fit the tile rule kept exactly.
#include <gtest/gtest.h>

#include <set>

#include "core/bmp/layout.h"
#include "core/tiles/tiles.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"

namespace {

using testimg::Bytes;

struct Tiled {
    quantize::Outcome outcome;
    Bytes image;
};

Tiled Convert(const Bytes& source, const tiles::TileInput& input) {
    Bytes image = source;
    testimg::Recorder silent;
    const quantize::Resizer resize = [&image](std::uint64_t size) {
        image.resize(static_cast<std::size_t>(size));
        return quantize::ResizeResult{image.data(), true};
    };
    const quantize::Result result =
        tiles::ConvertTiles(image.data(), image.size(), resize, input, silent);
    image.resize(static_cast<std::size_t>(result.newSize));
    return {result.outcome, image};
}

std::uint32_t Photo(int x, int r) {
    const std::uint32_t noise = (x * 2654435761u ^ r * 40503u) >> 27;
    return ((x * 3 + noise) & 0xFF) << 16 | ((r * 5 + noise) & 0xFF) << 8 | ((x + r) & 0xFF);
}

TEST(Tiles, EveryTileTakesOnePalettesEntriesAndSharedEntriesAreAlike) {
    Bytes fixed(1024, 0);
    fixed[0] = 0x40, fixed[1] = 0x80, fixed[2] = 0xC0;
    for (const auto dither : {quantize::DitherMethod::Kernel, quantize::DitherMethod::Ordered}) {
        tiles::TileInput input;
        input.shape = {8, 4, 6, 16, 2, {5, 5, 5}};
        input.fixedCount = 1;
        input.fixedTable = fixed.data();
        input.stages = quantize::HighQualityStages(dither);
        const Tiled run = Convert(testimg::Make24(37, 29, Photo), input); // partial tiles
        ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
        for (int p = 0; p < 6; ++p) {
            EXPECT_EQ(testimg::EntryAt(run.image, 16 * p), 0xC08040u); // the fixed colour
            EXPECT_EQ(testimg::EntryAt(run.image, 16 * p + 1), testimg::EntryAt(run.image, 1));
        }
        for (int ty = 0; ty < 8; ++ty) {
            for (int tx = 0; tx < 5; ++tx) {
                std::set<int> palettes;
                for (int r = 4 * ty; r < 4 * ty + 4 && r < 29; ++r) {
                    for (int x = 8 * tx; x < 8 * tx + 8 && x < 37; ++x) {
                        palettes.insert(testimg::IndexAt(run.image, x, 28 - r) / 16);
                    }
                }
                EXPECT_EQ(palettes.size(), 1u) << tx << "," << ty;
            }
        }
    }
}

TEST(Tiles, AnImageMadeOfThePalettesKeepsEveryPixel) {
    // 4 palettes of 4 sharing black; each 8 x 8 tile draws with three colours of one of them.
    const std::uint32_t own[4][3] = {{0xE02020, 0xA01010, 0x601010},
                                     {0x20E020, 0x10A010, 0x106010},
                                     {0x2020E0, 0x1010A0, 0x101060},
                                     {0xE0E020, 0xA0A010, 0x606010}};
    const auto picture = [&](int x, int r) {
        const int p = (x / 8 + 3 * (r / 8)) % 4, k = (x * 7 + r * 3) % 4;
        return k == 3 ? 0u : own[p][k];
    };
    tiles::TileInput input;
    input.shape = {8, 8, 4, 4, 1, {8, 8, 8}};
    const Tiled run = Convert(testimg::Make24(64, 48, picture), input);
    ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
    for (int r = 0; r < 48; ++r) {
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(testimg::ColourAt(run.image, x, r), picture(x, r)) << x << "," << r;
        }
    }
}

} // namespace
