// The colours a device shows: entries on a grid of a few bits a channel, or the best of a
// list, and the pixels dithered against them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "core/quantize/device_colours.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"

namespace {

using testimg::Bytes;
using testimg::ColourAt;
using testimg::Converted;
using testimg::EntryAt;

constexpr quantize::DitherMethod kDithers[] = {quantize::DitherMethod::Kernel,
                                               quantize::DitherMethod::Ordered};

std::uint32_t Photo(int x, int r) {
    const std::uint32_t noise = (x * 2654435761u ^ r * 40503u) >> 27;
    return ((x + noise) & 0xFF) << 16 | ((r * 2 + noise) & 0xFF) << 8 | ((x + r) / 2 & 0xFF);
}

// Entries `first` to `end` of a result: none repeats another.
std::set<std::uint32_t> Entries(const Bytes& image, int first, int end) {
    std::set<std::uint32_t> entries;
    for (int e = first; e < end; ++e) {
        EXPECT_TRUE(entries.insert(EntryAt(image, e)).second) << "entry " << e << " repeats";
    }
    return entries;
}

int HighestIndex(const Bytes& image) {
    return *std::max_element(image.begin() + bmp::k8BitPixelData, image.end());
}

TEST(DeviceColours, AGridValueIsItsLevelsBitsRepeated) {
    for (int bits = 1; bits <= 8; ++bits) {
        for (int level = 0; level < 1 << bits; ++level) {
            int repeated = 0;
            for (int filled = 0; filled < 8; filled += bits) {
                repeated = repeated << bits | level;
            }
            repeated >>= (8 + bits - 1) / bits * bits - 8;
            // Bit repetition and the rounded v * 255 / (2^b - 1) agree but for 1 in a few
            // levels of 3, 5, 6 and 7 bits, by one.
            EXPECT_LE(std::abs(quantize::GridValue(level, bits) - repeated), 1)
                << level << " of " << bits;
            EXPECT_EQ(quantize::GridLevel(quantize::GridValue(level, bits), bits), level);
        }
    }
}

TEST(DeviceColours, EveryChosenEntryLiesOnTheGridAndTheFixedOnesStay) {
    Bytes table(1024, 0);
    table[0] = 10, table[1] = 20, table[2] = 30; // off every grid but 8 bits
    for (const auto& depth : {std::array{5, 6, 5}, std::array{4, 4, 4}, std::array{3, 3, 2},
                              std::array{2, 2, 2}, std::array{1, 2, 1}}) {
        const quantize::DeviceColours device(depth, nullptr, 0);
        for (const auto dither : kDithers) {
            quantize::Choices choices;
            choices.depth = depth;
            const Converted run =
                testimg::Diffused(testimg::Make24(97, 61, Photo), 1, table,
                                  quantize::HighQualityStages(dither), 2, choices);
            ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
            EXPECT_EQ(EntryAt(run.image, 0), 0x1E140Au);
            // A grid of fewer colours than the free entries gives them all, and pixels
            // take no entry after them.
            const int end = static_cast<int>(std::min<std::uint64_t>(256, 1 + device.Count()));
            for (const std::uint32_t colour : Entries(run.image, 1, end)) {
                EXPECT_TRUE(device.Holds(colour)) << std::hex << colour;
            }
            EXPECT_LT(HighestIndex(run.image), end);
        }
    }
}

TEST(DeviceColours, AnImageOfFewGridColoursKeepsEveryPixel) {
    const auto few = [](int x, int r) {
        const int k = (x * 7 + r * 31) % 150;
        return static_cast<std::uint32_t>(quantize::GridValue(k % 16, 4) << 16 |
                                          quantize::GridValue(k / 16, 4) << 8 | 0x33);
    };
    quantize::Choices choices;
    choices.depth = {4, 4, 4};
    const Converted run = testimg::Diffused(testimg::Make24(37, 29, few), 0, testimg::kBlackTable,
                                            quantize::kHighQualityDiffusion, 0, choices);
    for (int r = 0; r < 29; ++r) {
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(ColourAt(run.image, x, r), few(x, r)) << x << "," << r;
        }
    }
}

TEST(DeviceColours, TheBestOfAListNeverLeaveItAndAListThatFitsIsTakenWhole) {
    std::mt19937 rng(7);
    std::vector<std::uint32_t> list(300);
    for (std::uint32_t& colour : list) {
        colour = rng() & 0xFFFFFF;
    }
    const std::set<std::uint32_t> listed(list.begin(), list.end());
    for (const auto dither : kDithers) {
        quantize::Choices choices;
        choices.colours = 16;
        const Converted best =
            testimg::Diffused(testimg::Make24(97, 61, Photo), 0, testimg::kBlackTable,
                              quantize::HighQualityStages(dither), 2, choices, list);
        for (const std::uint32_t colour : Entries(best.image, 0, 16)) {
            EXPECT_TRUE(listed.count(colour)) << std::hex << colour;
        }
        EXPECT_LT(HighestIndex(best.image), 16);
        // 20 colours with room for 64: the list itself, in its order, and nothing after it.
        const std::vector<std::uint32_t> small(list.begin(), list.begin() + 20);
        choices.colours = 64;
        const Converted whole =
            testimg::Diffused(testimg::Make24(97, 61, Photo), 0, testimg::kBlackTable,
                              quantize::HighQualityStages(dither), 2, choices, small);
        for (int e = 0; e < 20; ++e) {
            EXPECT_EQ(EntryAt(whole.image, e), small[static_cast<std::size_t>(e)]) << e;
        }
        EXPECT_LT(HighestIndex(whole.image), 20);
    }
}

} // namespace
