#include "document/bmp_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A file image with a 40-byte info header; pixel bytes are left zero.
std::vector<std::uint8_t> MakeImage(std::int32_t width, std::int32_t height, std::uint16_t bits,
                                    std::uint64_t extraRows = 0) {
    const std::uint64_t offset = bmp::PixelDataOffset(bits);
    const std::uint64_t stride = bmp::StrideBytes(width, bits);
    const std::uint64_t rows = (height > 0 ? height : -static_cast<std::int64_t>(height));
    std::vector<std::uint8_t> image(offset + stride * (rows + extraRows));
    image[0] = 'B';
    image[1] = 'M';
    bmp::WriteU32(&image[bmp::kBfSize], static_cast<std::uint32_t>(image.size()));
    bmp::WriteU32(&image[bmp::kBfOffBits], static_cast<std::uint32_t>(offset));
    bmp::WriteU32(&image[bmp::kBiSize], 40);
    bmp::WriteU32(&image[bmp::kBiWidth], static_cast<std::uint32_t>(width));
    bmp::WriteU32(&image[bmp::kBiHeight], static_cast<std::uint32_t>(height));
    bmp::WriteU16(&image[26], 1);
    bmp::WriteU16(&image[bmp::kBiBitCount], bits);
    return image;
}

TEST(BmpFields, LittleEndianAtTheirOffsets) {
    std::uint8_t bytes[4] = {};
    bmp::WriteU32(bytes, 0x12345678u);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[3], 0x12);
    EXPECT_EQ(bmp::ReadU32(bytes), 0x12345678u);
    bmp::WriteU32(bytes, 0xFFFFFFFEu);
    EXPECT_EQ(bmp::ReadS32(bytes), -2);
    bmp::WriteU16(bytes, 0xBEEF);
    EXPECT_EQ(bytes[0], 0xEF);
    EXPECT_EQ(bmp::ReadU16(bytes), 0xBEEF);
}

TEST(BmpLayout, PixelDataFollowsTheColourTableOfTheBitCount) {
    EXPECT_EQ(bmp::PixelDataOffset(24), 54u);
    EXPECT_EQ(bmp::PixelDataOffset(1), 54u + 8);
    EXPECT_EQ(bmp::PixelDataOffset(4), 54u + 64);
    EXPECT_EQ(bmp::PixelDataOffset(8), 1078u);
    // The rule takes the bit count modulo 32: 32 bits means one entry, 16 bits 65536.
    EXPECT_EQ(bmp::ColourTableEntries(32), 1u);
    EXPECT_EQ(bmp::ColourTableEntries(16), 65536u);
    EXPECT_EQ(bmp::ColourTableEntries(24), 0u);
}

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
    auto rgb = MakeImage(5, 3, 24);
    auto plan = bmp::PlanDrawing(rgb.data(), rgb.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.pixelOffset, 54u);
    EXPECT_EQ(plan.colourCount, 0u);
    EXPECT_EQ(plan.scanLines, 3u);
    EXPECT_EQ(plan.width, 5);
    EXPECT_EQ(plan.height, 3);

    auto indexed = MakeImage(7, 2, 8);
    plan = bmp::PlanDrawing(indexed.data(), indexed.size());
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.pixelOffset, 1078u);
    EXPECT_EQ(plan.colourCount, 256u);
    EXPECT_EQ(plan.scanLines, 2u);

    // Bytes beyond the last row (a trailer) do not add rows.
    auto longer = MakeImage(4, 4, 4, 3);
    plan = bmp::PlanDrawing(longer.data(), longer.size());
    EXPECT_EQ(plan.colourCount, 16u);
    EXPECT_EQ(plan.scanLines, 4u);
}

TEST(DrawPlan, ShortFilesAreDrawnToTheirLastCompleteRow) {
    auto image = MakeImage(10, 8, 24); // stride 32
    auto plan = bmp::PlanDrawing(image.data(), image.size() - 1);
    EXPECT_TRUE(plan.drawable);
    EXPECT_EQ(plan.scanLines, 7u);
    plan = bmp::PlanDrawing(image.data(), 54 + 32);
    EXPECT_EQ(plan.scanLines, 1u);
    plan = bmp::PlanDrawing(image.data(), 54 + 31);
    EXPECT_FALSE(plan.drawable);
    EXPECT_TRUE(plan.hasHeader);

    // An 8-bit image cut inside its colour table is not drawn at all.
    auto indexed = MakeImage(4, 4, 8);
    plan = bmp::PlanDrawing(indexed.data(), 600);
    EXPECT_FALSE(plan.drawable);
    EXPECT_TRUE(plan.hasHeader);
}

TEST(DrawPlan, NoHeaderNoPlan) {
    auto image = MakeImage(2, 2, 24);
    auto plan = bmp::PlanDrawing(image.data(), 53);
    EXPECT_FALSE(plan.hasHeader);
    EXPECT_FALSE(plan.drawable);
    plan = bmp::PlanDrawing(nullptr, 0);
    EXPECT_FALSE(plan.hasHeader);
}

TEST(DrawPlan, HeadersTheDrawingWouldMisreadAreRefused) {
    auto image = MakeImage(4, 4, 8);
    auto refused = [](std::vector<std::uint8_t> bytes) {
        const auto plan = bmp::PlanDrawing(bytes.data(), bytes.size());
        return plan.hasHeader && !plan.drawable;
    };
    auto changed = image;
    bmp::WriteU32(&changed[bmp::kBiSize], 124); // a longer header moves the colour table
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiCompression], 1); // run-length encoded
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiClrUsed], 257); // more colours than the table holds
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiClrUsed], 16); // fewer is fine
    EXPECT_FALSE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiHeight], static_cast<std::uint32_t>(-4)); // top-down
    EXPECT_TRUE(refused(changed));
    changed = image;
    bmp::WriteU32(&changed[bmp::kBiWidth], 0);
    EXPECT_TRUE(refused(changed));

    auto wide = MakeImage(3, 3, 16);
    EXPECT_TRUE(refused(wide));
    auto deep = MakeImage(3, 3, 32);
    EXPECT_TRUE(refused(deep));
}

TEST(DrawPlan, HugeDimensionsDoNotOverflow) {
    auto image = MakeImage(4, 4, 24);
    bmp::WriteU32(&image[bmp::kBiWidth], 0x7FFFFFFF);
    bmp::WriteU32(&image[bmp::kBiHeight], 0x7FFFFFFF);
    auto plan = bmp::PlanDrawing(image.data(), image.size());
    EXPECT_FALSE(plan.drawable); // not even one row of 6 GiB is present
    EXPECT_TRUE(plan.hasHeader);
    EXPECT_EQ(plan.width, 0x7FFFFFFF);
}

} // namespace
