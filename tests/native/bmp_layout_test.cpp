#include "core/bmp/layout.h"
#include "core/bmp/rle.h"
#include "tests/support/bmp_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testimg::MakeHeaders;

TEST(BmpLayout, StrideRoundsRowsUpToWholeWords) {
    EXPECT_EQ(bmp::StrideBytes(1, 24), 4u);
    EXPECT_EQ(bmp::StrideBytes(5, 24), 16u);
    EXPECT_EQ(bmp::StrideBytes(4, 24), 12u);
    EXPECT_EQ(bmp::StrideBytes(5, 8), 8u);
    EXPECT_EQ(bmp::StrideBytes(33, 1), 8u);
    EXPECT_EQ(bmp::StrideBytes(3, 4), 4u);
    EXPECT_EQ(bmp::StrideBytes(0, 24), 0u);
    EXPECT_EQ(bmp::StrideBytes(0x7FFFFFFF, 24), 0x180000000ull);
}

TEST(DrawPlan, PlainImagesAreDrawnWhole) {
    auto rgb = MakeHeaders(5, 3, 24);
    auto plan = bmp::PlanDrawing(rgb.data(), rgb.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.pixelOffset, bmp::kHeadersSize);
    EXPECT_EQ(plan.colourCount, 0u);
    EXPECT_EQ(plan.scanLines, 3u);
    EXPECT_EQ(plan.width, 5);
    EXPECT_EQ(plan.height, 3);

    auto indexed = MakeHeaders(7, 2, 8);
    plan = bmp::PlanDrawing(indexed.data(), indexed.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.pixelOffset, bmp::k8BitPixelData);
    EXPECT_EQ(plan.colourCount, 256u);
    EXPECT_EQ(plan.scanLines, 2u);

    // Bytes beyond the last row (a trailer) do not add rows.
    auto longer = MakeHeaders(4, 4, 4, 3);
    plan = bmp::PlanDrawing(longer.data(), longer.size());
    EXPECT_EQ(plan.colourCount, 16u);
    EXPECT_EQ(plan.scanLines, 4u);
}

TEST(DrawPlan, ShortFilesAreDrawnToTheirLastCompleteRow) {
    auto image = MakeHeaders(10, 8, 24); // stride 32
    auto plan = bmp::PlanDrawing(image.data(), image.size() - 1);
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.scanLines, 7u);
    plan = bmp::PlanDrawing(image.data(), bmp::kHeadersSize + 32);
    EXPECT_EQ(plan.scanLines, 1u);
    plan = bmp::PlanDrawing(image.data(), bmp::kHeadersSize + 31);
    EXPECT_FALSE(plan.drawable);
    EXPECT_TRUE(plan.hasHeader);

    // An 8-bit image cut inside its colour table is not drawn at all.
    auto indexed = MakeHeaders(4, 4, 8);
    plan = bmp::PlanDrawing(indexed.data(), 600);
    EXPECT_FALSE(plan.drawable);
    EXPECT_TRUE(plan.hasHeader);
}

TEST(DrawPlan, NoHeaderNoPlan) {
    auto image = MakeHeaders(2, 2, 24);
    auto plan = bmp::PlanDrawing(image.data(), 53);
    EXPECT_FALSE(plan.hasHeader);
    EXPECT_FALSE(plan.drawable);
    EXPECT_EQ(plan.problem, bmp::DrawProblem::Truncated);
    plan = bmp::PlanDrawing(image.data(), 0);
    EXPECT_FALSE(plan.hasHeader);
    EXPECT_EQ(plan.problem, bmp::DrawProblem::Empty);
    // A PNG file under a BMP name is no BMP file, whatever its bytes at the header's places.
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.resize(200, 0);
    png[14] = 40;
    EXPECT_EQ(bmp::PlanDrawing(png.data(), png.size()).problem, bmp::DrawProblem::NotBitmap);
    EXPECT_EQ(bmp::PlanDrawing(image.data(), image.size()).problem, bmp::DrawProblem::None);
}

TEST(DrawPlan, CompressedOrEmptyImagesAreNotDrawn) {
    const auto image = MakeHeaders(4, 4, 8);
    auto refused = [](std::vector<std::uint8_t> bytes,
                      bmp::DrawProblem problem = bmp::DrawProblem::Unsupported) {
        const auto plan = bmp::PlanDrawing(bytes.data(), bytes.size());
        return plan.hasHeader && !plan.drawable && plan.problem == problem;
    };
    auto changed = image;
    bmp::WriteU32(&changed[bmp::kBiCompression], 4); // JPEG inside
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiCompression], 1); // run-length data runs bottom-up only
    bmp::WriteU32(&changed[bmp::kBiHeight], static_cast<std::uint32_t>(-4));
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiCompression], 1); // far more pixels than the data holds
    bmp::WriteU32(&changed[bmp::kBiWidth], 100000);
    bmp::WriteU32(&changed[bmp::kBiHeight], 100000);
    EXPECT_TRUE(refused(changed, bmp::DrawProblem::TooLarge));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiCompression], 3); // bit fields need 16 or 32 bits
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiWidth], 0);
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiHeight], 0);
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU16(&changed[bmp::kBiBitCount], 2);
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiSize], 30); // neither OS/2 nor Windows: nothing is read
    EXPECT_FALSE(bmp::PlanDrawing(changed.data(), changed.size()).drawable);
    EXPECT_FALSE(bmp::PlanDrawing(changed.data(), changed.size()).hasHeader);
    EXPECT_EQ(bmp::PlanDrawing(changed.data(), changed.size()).problem,
              bmp::DrawProblem::NotBitmap);
    // The colour table cut off.
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(image.begin(), image.begin() + 600),
                        bmp::DrawProblem::Truncated));
}

TEST(DrawPlan, ShortColourTablesAndPixelsAtBfOffBits) {
    // 8 bits with 16 colours used: the pixels follow the 16 entries, where bfOffBits says.
    auto image = MakeHeaders(4, 2, 8);
    bmp::WriteU32(&image[bmp::kBiClrUsed], 16);
    bmp::WriteU32(&image[bmp::kBfOffBits], bmp::kHeadersSize + 64);
    image.resize(bmp::kHeadersSize + 64 + 8);
    const auto plan = bmp::PlanDrawing(image.data(), image.size());
    ASSERT_TRUE(plan.drawable);
    EXPECT_TRUE(plan.inPlace);
    EXPECT_EQ(plan.colourCount, 16u);
    EXPECT_EQ(plan.pixelOffset, bmp::kHeadersSize + 64);
    EXPECT_EQ(plan.tableOffset, bmp::kColourTable);
    EXPECT_EQ(plan.scanLines, 2u);
    // More colours than the bit count allows are read as the full table.
    bmp::WriteU32(&image[bmp::kBiClrUsed], 300);
    image.resize(bmp::k8BitPixelData + 8);
    bmp::WriteU32(&image[bmp::kBfOffBits], bmp::k8BitPixelData);
    EXPECT_EQ(bmp::PlanDrawing(image.data(), image.size()).colourCount, 256u);
    // A bfOffBits inside the colour table is not believed.
    bmp::WriteU32(&image[bmp::kBfOffBits], 60);
    EXPECT_EQ(bmp::PlanDrawing(image.data(), image.size()).pixelOffset, bmp::k8BitPixelData);
}

TEST(DrawPlan, LongerHeadersAreRewrittenAsFortyByteOnes) {
    // A 124-byte header: the table follows it; the drawing gets a 40-byte equivalent.
    std::vector<std::uint8_t> image(14 + 124 + 8 + 4 * 2, 0);
    bmp::WriteU32(&image[bmp::kBfOffBits], 14 + 124 + 8);
    bmp::WriteU32(&image[bmp::kBiSize], 124);
    bmp::WriteU32(&image[bmp::kBiWidth], 3);
    bmp::WriteU32(&image[bmp::kBiHeight], static_cast<std::uint32_t>(-2)); // top-down
    bmp::WriteU16(&image[bmp::kBiBitCount], 1);
    image[138] = 0x11; // entry 0: blue 0x11, green 0x22, red 0x33
    image[139] = 0x22;
    image[140] = 0x33;
    const auto plan = bmp::PlanDrawing(image.data(), image.size());
    ASSERT_TRUE(plan.drawable);
    EXPECT_FALSE(plan.inPlace);
    EXPECT_EQ(plan.height, -2);
    EXPECT_EQ(plan.scanLines, 2u);
    EXPECT_EQ(plan.pixelOffset, 146u);
    ASSERT_EQ(plan.info.size(), 40u + 8);
    EXPECT_EQ(bmp::ReadU32(&plan.info[0]), 40u);
    EXPECT_EQ(bmp::ReadS32(&plan.info[8]), -2);
    EXPECT_EQ(bmp::ReadU32(&plan.info[32]), 2u); // colours used
    EXPECT_EQ(plan.tableOffset, 40u);
    EXPECT_EQ(plan.info[40], 0x11);
    EXPECT_EQ(plan.info[42], 0x33);
    EXPECT_EQ(plan.info[43], 0);
}

TEST(DrawPlan, Os2HeadersHaveThreeByteEntries) {
    std::vector<std::uint8_t> image(14 + 12 + 3 * 2 + 4, 0);
    bmp::WriteU32(&image[bmp::kBfOffBits], 14 + 12 + 6);
    bmp::WriteU32(&image[bmp::kBiSize], 12);
    bmp::WriteU16(&image[18], 5); // width
    bmp::WriteU16(&image[20], 1); // height
    bmp::WriteU16(&image[22], 1); // planes
    bmp::WriteU16(&image[24], 1); // bits
    image[29] = 0xAA;             // entry 1: blue 0xAA
    const auto plan = bmp::PlanDrawing(image.data(), image.size());
    ASSERT_TRUE(plan.drawable);
    EXPECT_EQ(plan.width, 5);
    EXPECT_EQ(plan.colourCount, 2u); // the table ends where bfOffBits says
    EXPECT_EQ(plan.pixelOffset, 32u);
    ASSERT_EQ(plan.info.size(), 48u);
    EXPECT_EQ(plan.info[44], 0xAA);
}

TEST(DrawPlan, SixteenAndThirtyTwoBitsWithAndWithoutMasks) {
    auto wide = MakeHeaders(3, 3, 16);
    auto plan = bmp::PlanDrawing(wide.data(), wide.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.colourCount, 0u);
    std::vector<std::uint8_t> masked(bmp::kHeadersSize + 12 + 16 * 2, 0);
    bmp::WriteU32(&masked[bmp::kBfOffBits], 66);
    bmp::WriteU32(&masked[bmp::kBiSize], 40);
    bmp::WriteU32(&masked[bmp::kBiWidth], 4);
    bmp::WriteU32(&masked[bmp::kBiHeight], 2);
    bmp::WriteU16(&masked[bmp::kBiBitCount], 32);
    bmp::WriteU32(&masked[bmp::kBiCompression], 3);
    plan = bmp::PlanDrawing(masked.data(), masked.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_TRUE(plan.inPlace);
    EXPECT_EQ(plan.pixelOffset, 66u);
    EXPECT_EQ(plan.scanLines, 2u);
}

TEST(RunLength, EightAndFourBitDataUnpackIntoPaddedRows) {
    // Row 0: a run of three 5s; row 1: three pixels given one by one; then the end.
    const std::vector<std::uint8_t> rle8 = {3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    std::vector<std::uint8_t> pixels;
    bmp::UnpackRle(rle8.data(), rle8.size(), 8, 4, 2, pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{5, 5, 5, 0, 1, 2, 3, 0}));
    // Four bits: a run alternates the two nibbles; absolute nibbles are padded to a word.
    const std::vector<std::uint8_t> rle4 = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1};
    bmp::UnpackRle(rle4.data(), rle4.size(), 4, 5, 2, pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{1, 2, 1, 2, 1, 0, 0, 0, 3, 4, 5, 0, 0, 0, 0, 0}));
}

TEST(RunLength, DeltasSkipAndBadDataStopsInsideTheRows) {
    // A delta of (2, 1) from the start, then a run that overflows the row.
    const std::vector<std::uint8_t> data = {0, 2, 2, 1, 9, 7};
    std::vector<std::uint8_t> pixels;
    bmp::UnpackRle(data.data(), data.size(), 8, 4, 2, pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 7, 7}));
    // An absolute run that claims more bytes than there are: nothing past the data is read.
    const std::vector<std::uint8_t> cut = {0, 200, 1, 2};
    bmp::UnpackRle(cut.data(), cut.size(), 8, 4, 1, pixels);
    EXPECT_EQ(pixels, std::vector<std::uint8_t>(4, 0));
}

TEST(DrawPlan, HugeDimensionsDoNotOverflow) {
    auto image = MakeHeaders(4, 4, 24);
    bmp::WriteU32(&image[bmp::kBiWidth], 0x7FFFFFFF);
    bmp::WriteU32(&image[bmp::kBiHeight], 0x7FFFFFFF);
    auto plan = bmp::PlanDrawing(image.data(), image.size());
    EXPECT_FALSE(plan.drawable); // not even one row of 6 GiB is present
    EXPECT_EQ(plan.problem, bmp::DrawProblem::Truncated);
    EXPECT_TRUE(plan.hasHeader);
    EXPECT_EQ(plan.width, 0x7FFFFFFF);

    // Run-length data of 4 MiB: 8192 x 8192 unpacks into 64 MiB and is drawn; 32768 x 32768
    // would need 1 GiB, more than a 32-bit program can count on.
    auto rle = MakeHeaders(8192, 1, 8);
    rle.resize(bmp::k8BitPixelData + (std::size_t{4} << 20));
    bmp::WriteU32(&rle[bmp::kBiHeight], 8192);
    bmp::WriteU32(&rle[bmp::kBiCompression], 1);
    EXPECT_TRUE(bmp::PlanDrawing(rle.data(), rle.size()).runLength);
    bmp::WriteU32(&rle[bmp::kBiWidth], 32768);
    bmp::WriteU32(&rle[bmp::kBiHeight], 32768);
    plan = bmp::PlanDrawing(rle.data(), rle.size());
    EXPECT_FALSE(plan.drawable);
    EXPECT_EQ(plan.problem, bmp::DrawProblem::TooLarge);
    EXPECT_TRUE(plan.hasHeader);
}

// A file cut short is still drawn as far as it reaches, but it is told apart from a whole
// one: rows missing, or run-length data that stops before its end.
TEST(DrawPlan, AFileCutShortIsToldApartFromAWholeOne) {
    const auto cutShort = [](const std::vector<std::uint8_t>& image, std::size_t size) {
        const auto plan = bmp::PlanDrawing(image.data(), size);
        EXPECT_TRUE(plan.drawable);
        return bmp::IsCutShort(image.data(), size, plan);
    };
    for (const int bits : {1, 4, 8, 24}) {
        const auto depth = static_cast<std::uint16_t>(bits);
        const auto image = MakeHeaders(10, 8, depth, 1); // a trailer row
        const std::size_t row = bmp::StrideBytes(10, depth);
        EXPECT_FALSE(cutShort(image, image.size())) << bits;
        EXPECT_FALSE(cutShort(image, image.size() - row)) << bits;
        EXPECT_TRUE(cutShort(image, image.size() - row - 1)) << bits;
    }
    // Run-length rows of width 3: a run, the end of the line, three pixels one by one.
    const std::vector<std::uint8_t> rows = {3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};
    const auto whole = [&rows](std::size_t size) {
        return bmp::RleIsWhole(rows.data(), size, 8, 3, 2);
    };
    EXPECT_TRUE(whole(12)); // the end-of-bitmap code
    EXPECT_TRUE(whole(10)); // without the closing codes, the last row is all there
    EXPECT_FALSE(whole(8)); // inside the pixels given one by one
    EXPECT_FALSE(whole(4)); // after the first row
    EXPECT_TRUE(bmp::RleIsWhole(rows.data(), 4, 8, 3, 1)); // one row: past it
    std::vector<std::uint8_t> pixels;
    EXPECT_FALSE(bmp::UnpackRle(rows.data(), 5, 8, 3, 2, pixels)); // inside a code
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{5, 5, 5, 0, 0, 0, 0, 0}));

    auto rle = MakeHeaders(3, 2, 8);
    rle.resize(bmp::k8BitPixelData);
    bmp::WriteU32(&rle[bmp::kBiCompression], 1);
    rle.insert(rle.end(), rows.begin(), rows.end());
    EXPECT_FALSE(cutShort(rle, rle.size()));
    EXPECT_TRUE(cutShort(rle, rle.size() - 4));
}

} // namespace
