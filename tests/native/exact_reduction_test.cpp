#include "core/quantize/exact_reduction.h"

#include <gtest/gtest.h>

#include "tests/support/bmp_builder.h"
#include "tests/support/literal_exact.h"

namespace {

using quantize::Outcome;
using testimg::Bytes;
using testimg::VectorBlock;

std::uint32_t Field(const Bytes& b, std::size_t at) {
    return bmp::ReadU32(&b[at]);
}

TEST(ExactReduction, FourByTwoWithThreeColours) {
    // Stored rows: red red green red / blue green green green.
    const std::uint32_t rows[2][4] = {{0xFF0000, 0xFF0000, 0x00FF00, 0xFF0000},
                                      {0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00}};
    VectorBlock block{testimg::Make24(4, 2, [&](int x, int r) { return rows[r][x]; })};
    const auto result = block.Exact();
    ASSERT_EQ(result.outcome, Outcome::Converted);
    const Bytes& out = block.bytes;
    ASSERT_EQ(out.size(), 1086u);
    EXPECT_EQ(result.newSize, 1086u);
    EXPECT_EQ(Field(out, bmp::kBfSize), 1086u);
    EXPECT_EQ(Field(out, bmp::kBfOffBits), bmp::k8BitPixelData);
    EXPECT_EQ(Field(out, bmp::kBiSizeImage), 8u);
    EXPECT_EQ(bmp::ReadU16(&out[bmp::kBiBitCount]), 8);
    EXPECT_EQ(Field(out, bmp::kBiWidth), 4u);
    EXPECT_EQ(Field(out, bmp::kBiHeight), 2u);
    EXPECT_EQ(Field(out, 38), 2835u); // fields it does not own stay as loaded
    // Entries in order of first appearance, blue-green-red-zero; the rest black.
    Bytes table(1024, 0);
    table[2] = table[5] = table[8] = 255;
    EXPECT_EQ(Bytes(out.begin() + bmp::kColourTable, out.begin() + bmp::k8BitPixelData), table);
    EXPECT_EQ(Bytes(out.begin() + bmp::k8BitPixelData, out.end()), (Bytes{0, 0, 1, 0, 2, 1, 1, 1}));
}

// No pixels, and no row to visit however many there are (found by fuzzing: 905969664 rows
// of nothing used to be walked one by one): an 8-bit image of no pixels and a black table.
TEST(ExactReduction, AnImageWithNoPixelsBecomesAnEmpty8BitImage) {
    for (const auto& [w, h] : {std::pair{0, 5}, std::pair{7, 0}, std::pair{0, 905969664}}) {
        Bytes image = testimg::Make24(w, 0, [](int, int) { return 1u; });
        bmp::WriteU32(&image[bmp::kBiHeight], static_cast<std::uint32_t>(h));
        VectorBlock block{image};
        ASSERT_EQ(block.Exact().outcome, Outcome::Converted) << h;
        EXPECT_EQ(Field(block.bytes, bmp::kBiHeight), static_cast<std::uint32_t>(h));
        EXPECT_EQ(Field(block.bytes, bmp::kBfSize), bmp::k8BitPixelData);
        EXPECT_EQ(Field(block.bytes, bmp::kBiSizeImage), 0u);
        EXPECT_EQ(Bytes(block.bytes.begin() + bmp::kColourTable, block.bytes.end()),
                  Bytes(1024, 0));
    }
}

TEST(ExactReduction, TopDownImagesKeepTheirRowOrderAndHeight) {
    const Bytes image = testimg::Make24(
        3, 2, [](int x, int r) { return static_cast<std::uint32_t>(r * 3 + x); }, 0, true);
    VectorBlock block{image};
    ASSERT_EQ(block.Exact().outcome, Outcome::Converted);
    EXPECT_EQ(static_cast<std::int32_t>(Field(block.bytes, bmp::kBiHeight)), -2);
    EXPECT_EQ(Bytes(block.bytes.begin() + bmp::k8BitPixelData, block.bytes.end()),
              (Bytes{0, 1, 2, 0, 3, 4, 5, 0}));
}

TEST(ExactReduction, AFailedGrowChangesNothingAndAFailedShrinkKeepsAValidImage) {
    const Bytes image = testimg::Make24(5, 4, [](int x, int) { return x * 3u; });
    VectorBlock noGrow{image};
    noGrow.failGrow = true;
    EXPECT_EQ(noGrow.Exact().outcome, Outcome::NoMemory);
    EXPECT_EQ(noGrow.bytes, image);

    VectorBlock noShrink{image};
    noShrink.failShrink = true;
    const auto result = noShrink.Exact();
    ASSERT_EQ(result.outcome, Outcome::Converted);
    EXPECT_EQ(result.newSize, bmp::k8BitPixelData + 8 * 4);
    EXPECT_EQ(noShrink.bytes.size(), image.size() + 1024); // the block stayed larger
    Bytes expected = image;
    ASSERT_EQ(literal::ReduceExact(expected), literal::ExactOutcome::Converted);
    EXPECT_EQ(Bytes(noShrink.bytes.begin(), noShrink.bytes.begin() + result.newSize), expected);
}

// The fast reduction against the literal one, byte for byte, over many generated images.
// One colour, 256, a 257th, and pad bytes that hold something: the literal reduction says
// what each must give.
TEST(ExactReduction, MatchesTheLiteralReductionOnGeneratedImages) {
    int compared = 0;
    std::uint32_t seed = 1;
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 16, 31, 64, 101, 255}) {
        for (int rows : {1, 2, 3, 7, 20, 41}) {
            for (int colours : {1, 2, 17, 255, 256, 257}) {
                if (colours > width * rows && colours > 2) {
                    continue;
                }
                ++seed;
                const Bytes image = testimg::MakeRandom(width, rows, colours, seed,
                                                        static_cast<std::uint8_t>(seed * 37));
                Bytes expected = image;
                const auto literalOutcome = literal::ReduceExact(expected);
                VectorBlock block{image};
                const auto outcome = block.Exact().outcome;
                if (literalOutcome == literal::ExactOutcome::TooManyColours) {
                    EXPECT_EQ(outcome, Outcome::TooManyColours);
                    EXPECT_EQ(block.bytes, image);
                    EXPECT_EQ(block.resizes, 0); // refused before the block grows
                } else {
                    ASSERT_EQ(outcome, Outcome::Converted) << width << "x" << rows;
                    ASSERT_EQ(block.bytes, expected) << width << "x" << rows << " " << colours;
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 300); // the loops above did run
}

} // namespace
