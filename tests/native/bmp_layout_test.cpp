#include "core/bmp/layout.h"
#include "core/bmp/rle.h"
#include "tests/support/bmp_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testimg::Bytes;
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

// A file image with fields changed: (offset, value) pairs, the bit count 16 bits wide, the
// others 32.
Bytes With(Bytes image, std::initializer_list<std::pair<std::size_t, std::uint32_t>> fields) {
    for (const auto& [at, value] : fields) {
        if (at == bmp::kBiBitCount) {
            bmp::WriteU16(&image[at], static_cast<std::uint16_t>(value));
        } else {
            bmp::WriteU32(&image[at], value);
        }
    }
    return image;
}

// What the plan says of whole files, of files cut short, and of files no drawing takes.
TEST(DrawPlan, WhatEachFileCanDraw) {
    using bmp::DrawProblem;
    const Bytes rgb = MakeHeaders(5, 3, 24), indexed = MakeHeaders(4, 4, 8);
    const Bytes tall = MakeHeaders(10, 8, 24); // rows of 32 bytes
    // A PNG file under a BMP name, whatever its bytes at the header's places.
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.resize(200, 0);
    png[bmp::kBiSize] = 40;
    Bytes rle = With(MakeHeaders(8192, 1, 8), {{bmp::kBiHeight, 8192}, {bmp::kBiCompression, 1}});
    rle.resize(bmp::k8BitPixelData + (std::size_t{4} << 20)); // 4 MiB of run-length data
    const struct {
        const char* what;
        Bytes image;
        std::size_t size; // of the image's bytes given to the plan; 0 for all of them
        bool hasHeader, drawable;
        DrawProblem problem;
        std::uint32_t scanLines, colours; // ~0u: not asked
        std::uint64_t pixelOffset;        // 0: not asked
    } cases[] = {
        {"24 bits", rgb, 0, true, true, DrawProblem::None, 3, 0, bmp::kHeadersSize},
        {"8 bits", MakeHeaders(7, 2, 8), 0, true, true, DrawProblem::None, 2, 256,
         bmp::k8BitPixelData},
        {"a trailer adds no rows", MakeHeaders(4, 4, 4, 3), 0, true, true, DrawProblem::None, 4, 16,
         0},
        {"16 bits", MakeHeaders(3, 3, 16), 0, true, true, DrawProblem::None, 3, 0, 0},
        {"the last row cut", tall, tall.size() - 1, true, true, DrawProblem::None, 7, ~0u, 0},
        {"one row", tall, bmp::kHeadersSize + 32, true, true, DrawProblem::None, 1, ~0u, 0},
        {"no whole row", tall, bmp::kHeadersSize + 31, true, false, DrawProblem::Truncated, ~0u,
         ~0u, 0},
        {"the colour table cut", indexed, 600, true, false, DrawProblem::Truncated, ~0u, ~0u, 0},
        {"the header cut", rgb, 53, false, false, DrawProblem::Truncated, ~0u, ~0u, 0},
        {"no bytes", Bytes{}, 0, false, false, DrawProblem::Empty, ~0u, ~0u, 0},
        {"a PNG", png, 0, true, false, DrawProblem::NotBitmap, ~0u, ~0u, 0},
        {"neither OS/2 nor Windows", With(indexed, {{bmp::kBiSize, 30}}), 0, false, false,
         DrawProblem::NotBitmap, ~0u, ~0u, 0},
        {"JPEG inside", With(indexed, {{bmp::kBiCompression, 4}}), 0, true, false,
         DrawProblem::Unsupported, ~0u, ~0u, 0},
        {"run-length rows top-down",
         With(indexed,
              {{bmp::kBiCompression, 1}, {bmp::kBiHeight, static_cast<std::uint32_t>(-4)}}),
         0, true, false, DrawProblem::Unsupported, ~0u, ~0u, 0},
        {"run-length data of far more pixels than it holds",
         With(indexed,
              {{bmp::kBiCompression, 1}, {bmp::kBiWidth, 100000}, {bmp::kBiHeight, 100000}}),
         0, true, false, DrawProblem::TooLarge, ~0u, ~0u, 0},
        {"bit fields at 8 bits", With(indexed, {{bmp::kBiCompression, 3}}), 0, true, false,
         DrawProblem::Unsupported, ~0u, ~0u, 0},
        {"no columns", With(indexed, {{bmp::kBiWidth, 0}}), 0, true, false,
         DrawProblem::Unsupported, ~0u, ~0u, 0},
        {"no rows", With(indexed, {{bmp::kBiHeight, 0}}), 0, true, false, DrawProblem::Unsupported,
         ~0u, ~0u, 0},
        {"2 bits", With(indexed, {{bmp::kBiBitCount, 2}}), 0, true, false, DrawProblem::Unsupported,
         ~0u, ~0u, 0},
        // Not even one row of 6 GiB is present.
        {"huge", With(rgb, {{bmp::kBiWidth, 0x7FFFFFFF}, {bmp::kBiHeight, 0x7FFFFFFF}}), 0, true,
         false, DrawProblem::Truncated, ~0u, ~0u, 0},
        // 8192 x 8192 unpacks into 64 MiB and is drawn; 32768 x 32768 would need 1 GiB, more
        // than a 32-bit program can count on.
        {"64 MiB unpacked", rle, 0, true, true, DrawProblem::None, ~0u, ~0u, 0},
        {"1 GiB unpacked", With(rle, {{bmp::kBiWidth, 32768}, {bmp::kBiHeight, 32768}}), 0, true,
         false, DrawProblem::TooLarge, ~0u, ~0u, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto plan = bmp::PlanDrawing(c.image.data(), c.size == 0 ? c.image.size() : c.size);
        EXPECT_EQ(plan.hasHeader, c.hasHeader);
        EXPECT_EQ(plan.drawable, c.drawable);
        EXPECT_EQ(plan.problem, c.problem);
        if (c.hasHeader) {
            EXPECT_EQ(plan.width, bmp::ReadS32(&c.image[bmp::kBiWidth]));
            EXPECT_EQ(plan.height, bmp::ReadS32(&c.image[bmp::kBiHeight]));
        }
        EXPECT_TRUE(c.scanLines == ~0u || plan.scanLines == c.scanLines) << plan.scanLines;
        EXPECT_TRUE(c.colours == ~0u || plan.colourCount == c.colours) << plan.colourCount;
        EXPECT_TRUE(c.pixelOffset == 0 || plan.pixelOffset == c.pixelOffset) << plan.pixelOffset;
        EXPECT_EQ(plan.runLength, c.drawable && bmp::ReadU32(&c.image[bmp::kBiCompression]) == 1);
    }
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

TEST(DrawPlan, ThirtyTwoBitsWithMasksAfterTheHeader) {
    std::vector<std::uint8_t> masked(bmp::kHeadersSize + 12 + 16 * 2, 0);
    bmp::WriteU32(&masked[bmp::kBfOffBits], 66);
    bmp::WriteU32(&masked[bmp::kBiSize], 40);
    bmp::WriteU32(&masked[bmp::kBiWidth], 4);
    bmp::WriteU32(&masked[bmp::kBiHeight], 2);
    bmp::WriteU16(&masked[bmp::kBiBitCount], 32);
    bmp::WriteU32(&masked[bmp::kBiCompression], 3);
    const auto plan = bmp::PlanDrawing(masked.data(), masked.size());
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
