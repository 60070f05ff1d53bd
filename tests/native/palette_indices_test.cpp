// Palette indices users rely on: the chosen entries' order, an image compacted, a palette made
// again over an old one.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/bmp/layout.h"
#include "core/image/colour_count.h"
#include "core/quantize/compact.h"
#include "core/quantize/entry_order.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/keep_indices.h"
#include "tests/support/bmp_builder.h"

namespace {

using testimg::Bytes;
using testimg::ColourAt;
using testimg::EntryAt;

std::uint32_t Photo(int x, int r) {
    const std::uint32_t noise = (x * 2654435761u ^ r * 40503u) >> 27;
    return ((x + noise) & 0xFF) << 16 | ((r * 2 + noise) & 0xFF) << 8 | ((x + r) / 2 & 0xFF);
}

// Every pixel's colour of an 8-bit result.
std::vector<std::uint32_t> Colours(const Bytes& image) {
    std::vector<std::uint32_t> colours;
    for (int r = 0; r < bmp::ReadS32(&image[bmp::kBiHeight]); ++r) {
        for (int x = 0; x < bmp::ReadS32(&image[bmp::kBiWidth]); ++x) {
            colours.push_back(ColourAt(image, x, r));
        }
    }
    return colours;
}

TEST(PaletteIndices, AnOrderSortsTheChosenEntriesAndChangesNoPixelsColour) {
    Bytes table(1024, 0);
    table[0] = 200, table[1] = 10, table[2] = 250; // one fixed colour, which stays first
    quantize::Choices choices;
    choices.colours = 40;
    const Bytes image = testimg::Make24(53, 31, Photo);
    const auto run = [&](quantize::EntryOrder order) {
        choices.order = order;
        return testimg::Diffused(image, 1, table, quantize::kHighQualityDiffusion, 1, choices)
            .image;
    };
    const Bytes kept = run(quantize::EntryOrder::Keep);
    for (const auto order : {quantize::EntryOrder::Frequency, quantize::EntryOrder::Luminance,
                             quantize::EntryOrder::Hue}) {
        const Bytes sorted = run(order);
        EXPECT_EQ(Colours(sorted), Colours(kept));
        EXPECT_EQ(EntryAt(sorted, 0), 0xFA0AC8u);
        const auto places = quantize::SortedEntries(
            &sorted[bmp::kColourTable], nullptr, 1, 40,
            order == quantize::EntryOrder::Frequency ? quantize::EntryOrder::Keep : order);
        if (order != quantize::EntryOrder::Frequency) { // already in order: sorting again keeps it
            EXPECT_TRUE(std::is_sorted(places.begin(), places.end()));
        } else {
            std::vector<int> counts(256);
            for (std::size_t i = bmp::k8BitPixelData; i < sorted.size(); ++i) {
                ++counts[sorted[i]];
            }
            EXPECT_TRUE(
                std::is_sorted(counts.begin() + 1, counts.begin() + 40, std::greater<int>()));
        }
    }
}

TEST(PaletteIndices, CompactingDropsUnusedAndRepeatedEntriesAndKeepsEveryPixelsColour) {
    // 40 colours in an image whose table repeats them: entry 2k and 2k + 1 alike, pixels
    // taking both, and the last 176 entries unused.
    Bytes image = testimg::Make24(37, 23, [](int x, int r) {
        return static_cast<std::uint32_t>((x + 5 * r) % 40) * 0x060402u;
    });
    const std::vector<std::uint32_t> before = [&] {
        std::vector<std::uint32_t> colours;
        for (int r = 0; r < 23; ++r) {
            for (int x = 0; x < 37; ++x) {
                colours.push_back(static_cast<std::uint32_t>((x + 5 * r) % 40) * 0x060402u);
            }
        }
        return colours;
    }();
    Bytes eight(bmp::k8BitPixelData + 23 * 40, 0);
    std::copy_n(image.begin(), bmp::kHeadersSize, eight.begin());
    bmp::WriteU16(&eight[bmp::kBiBitCount], 8);
    bmp::WriteU32(&eight[bmp::kBfOffBits], bmp::k8BitPixelData);
    for (int k = 0; k < 80; ++k) {
        bmp::WriteU32(&eight[bmp::kColourTable + 4 * k],
                      static_cast<std::uint32_t>(k / 2) * 0x060402u);
    }
    for (int r = 0; r < 23; ++r) {
        for (int x = 0; x < 37; ++x) {
            eight[bmp::k8BitPixelData + r * 40 + x] =
                static_cast<std::uint8_t>(2 * ((x + 5 * r) % 40) + (x & 1));
        }
    }
    for (const bool key : {false, true}) {
        Bytes compacted = eight;
        int entries = 0;
        ASSERT_EQ(quantize::CompactImage(compacted.data(), compacted.size(), key, entries).outcome,
                  quantize::Outcome::Converted);
        EXPECT_EQ(entries, key ? 41 : 40); // with the key, entry 1 (black too) stays apart
        EXPECT_EQ(bmp::ReadU32(&compacted[bmp::kBiClrUsed]), static_cast<std::uint32_t>(entries));
        EXPECT_EQ(Colours(compacted), before);
        EXPECT_LT(*std::max_element(compacted.begin() + bmp::k8BitPixelData, compacted.end()),
                  entries);
    }
    // With alpha in the fourth byte, entries of one colour but another alpha stay apart, and
    // every pixel keeps its colour and alpha.
    Bytes translucent = eight;
    for (int k = 0; k < 80; ++k) {
        translucent[bmp::kColourTable + 4 * k + 3] = static_cast<std::uint8_t>(k % 2 ? 255 : k);
    }
    const auto quads = [](const Bytes& file) {
        std::vector<std::uint32_t> all;
        for (std::size_t i = bmp::k8BitPixelData; i < file.size(); ++i) {
            all.push_back(bmp::ReadU32(&file[bmp::kColourTable + 4 * std::size_t{file[i]}]));
        }
        return all;
    };
    Bytes compacted = translucent;
    int entries = 0;
    ASSERT_EQ(
        quantize::CompactImage(compacted.data(), compacted.size(), false, entries, true).outcome,
        quantize::Outcome::Converted);
    EXPECT_GT(entries, 40);
    EXPECT_EQ(quads(compacted), quads(translucent));
    EXPECT_EQ(quantize::CompactImage(image.data(), image.size(), false, entries).outcome,
              quantize::Outcome::UnsupportedLayout);
}

TEST(PaletteIndices, APaletteMadeAgainKeepsTheIndicesOfTheColoursStillThere) {
    quantize::DiffusionPalette old{}, fresh{};
    for (int e = 0; e < 64; ++e) {
        old[static_cast<std::size_t>(e)] =
            quantize::PaletteEntry::OfColour(static_cast<std::uint32_t>(e) * 0x030303u + 0x100000u);
    }
    // The fresh palette: the fixed colour, old colours 40..63 moved slightly and in another
    // order, and 30 far new ones.
    fresh[0] = old[0];
    for (int k = 0; k < 24; ++k) {
        fresh[static_cast<std::size_t>(1 + k)] =
            quantize::PaletteEntry::OfColour(old[static_cast<std::size_t>(63 - k)].Colour() + 2);
    }
    for (int k = 0; k < 30; ++k) {
        fresh[static_cast<std::size_t>(25 + k)] =
            quantize::PaletteEntry::OfColour(0xFF0000u + static_cast<std::uint32_t>(k) * 5);
    }
    const quantize::KeptPalette kept = quantize::KeepIndices(old, 64, fresh, 55, 1);
    EXPECT_EQ(kept.kept.size(), 24u);
    for (const int e : kept.kept) {
        EXPECT_GE(e, 40);
        EXPECT_EQ(kept.palette[static_cast<std::size_t>(e)], old[static_cast<std::size_t>(e)]);
    }
    EXPECT_EQ(kept.freed.size(), 39u); // 1 to 39
    ASSERT_EQ(kept.added.size(), 30u);
    EXPECT_EQ(kept.added.front(), 1);
    EXPECT_EQ(kept.palette[0], old[0]);
    EXPECT_EQ(kept.count, 64);
}

} // namespace

// The status bar's count: each colour once. A 4-bit image counts the colours of the entries
// its pixels take (entry 5 repeats entry 0's colour; entries 6 to 15 are taken by no pixel);
// a 16-bit one its colours as widened from 5 bits; a file cut short is not counted.
TEST(PaletteIndices, DistinctColoursCountsEachColourOnce) {
    Bytes four = testimg::MakeHeaders(7, 3, 4);
    for (int e = 0; e < 16; ++e) {
        bmp::WriteU32(&four[bmp::kColourTable + 4 * e], e == 5 ? 0x10 : 0x10u * (e + 1));
    }
    const std::size_t pixels = bmp::kColourTable + 64;
    for (int r = 0; r < 3; ++r) {
        for (int x = 0; x < 7; ++x) {
            const int entry = (x + r) % 6; // entries 0 to 5
            four[pixels + 4 * r + x / 2] |= static_cast<std::uint8_t>(entry << (x % 2 ? 0 : 4));
        }
    }
    EXPECT_EQ(image::DistinctColours(four.data(), four.size()), 5);

    const Bytes sixteen = testimg::Encode({.bits = 16}, 64, 4, [](int x, int r) {
        return static_cast<std::uint32_t>(x * 4 << 16 | r); // red in 5 bits, green and blue 0
    });
    EXPECT_EQ(image::DistinctColours(sixteen.data(), sixteen.size()), 32);
    EXPECT_EQ(image::DistinctColours(sixteen.data(), sixteen.size() - 1), -1);
}
