// The true-colour layouts other tools write: both conversions give the bytes of the plain
// 24-bit file of the same pixels.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_layout.h"

namespace {

using testimg::Bytes;
using testimg::Layout;

// 13 x 7 pixels of about 90 colours, so that exact reduction converts them too.
std::uint32_t Picture(int x, int r) {
    return static_cast<std::uint32_t>((x * 37 + r * 11) % 256) << 16 |
           static_cast<std::uint32_t>((x * 19) % 256) << 8 | static_cast<std::uint32_t>(r * 40);
}

// Both conversions of an image, as bytes, or its outcome where it is refused.
struct Converted {
    quantize::Outcome exact, diffusion;
    Bytes exactBytes, diffusionBytes;
};
Converted ConvertBoth(const Bytes& image, testimg::VectorBlock block = {}) {
    Converted c;
    block.bytes = image;
    c.exact = block.Exact().outcome;
    c.exactBytes = block.bytes;
    block.bytes = image;
    const Bytes table(1024, 0x3C);
    c.diffusion = block.Diffuse({7, table.data(), quantize::kBasicPalette}).outcome;
    c.diffusionBytes = block.bytes;
    return c;
}

TEST(Layouts, EveryTrueColourLayoutConvertsAsItsPlainTwin) {
    const Layout layouts[] = {
        {24, 124},                      // what ImageMagick and GIMP write
        {24, 108, 0, 0, 0, 0, 0, true}, // V4, top-down
        {24, 52},
        {24, 56},
        {24, 40, 0, 0, 0, 256},                              // a colour table before the pixels
        {24, 40, 0, 0, 0, 2, 6},                             // a short table and a gap
        {32, 40},                                            // x, then red, green, blue
        {32, 40, 0xFF0000, 0xFF00, 0xFF},                    // the same as bit fields
        {32, 124, 0xFF000000, 0xFF0000, 0xFF00, 0, 0, true}, // red in the top byte
        {32, 52, 0xFF000000, 0xFF0, 0xFF0000},               // masks off the byte boundaries
        {16, 40},                                            // 5-5-5
        {16, 40, 0xF800, 0x07E0, 0x001F, 0, 0, true},        // 5-6-5
        {16, 108, 0x7C00, 0x03E0, 0x001F, 256},              // 5-5-5 as bit fields
        {16, 40, 0x0F00, 0x00F0, 0x000F},                    // 4-4-4
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(testing::Message()
                     << layout.bits << " bits, header " << layout.headerSize << ", masks "
                     << std::hex << layout.red << " " << layout.green << " " << layout.blue);
        const Bytes image = testimg::Encode(layout, 13, 7, Picture);
        // With 8 bits a channel the twin holds the picture itself; narrower channels are
        // widened back by the literal reading.
        const Bytes plain = layout.bits == 16 ? literal::Plain24Of(image)
                                              : testimg::Make24(13, 7, Picture, 0, layout.topDown);
        const Converted got = ConvertBoth(image), expected = ConvertBoth(plain);
        ASSERT_EQ(got.exact, quantize::Outcome::Converted);
        ASSERT_EQ(got.diffusion, quantize::Outcome::Converted);
        EXPECT_EQ(got.exactBytes, expected.exactBytes);
        EXPECT_EQ(got.diffusionBytes, expected.diffusionBytes);
    }
    // The literal reading widens by repeating a channel's bits: 5 bits 10110 give 10110101.
    EXPECT_EQ(literal::Widen(0b10110, 5), 0b10110101);
    EXPECT_EQ(literal::Widen(0b101, 3), 0b10110110);
}

// What no conversion reads is refused by both, and neither changes a byte of it: layouts of
// other tools, and a plain file whose header says what its bytes cannot be.
TEST(Layouts, WhatCannotBeReadIsRefusedUnchangedByBoth) {
    using quantize::Outcome;
    const auto set32 = [](std::size_t at, std::uint32_t value) {
        return [at, value](Bytes& image) { bmp::WriteU32(&image[at], value); };
    };
    const auto bits = [](std::uint16_t count) {
        return [count](Bytes& image) { bmp::WriteU16(&image[bmp::kBiBitCount], count); };
    };
    const auto cut = [](std::size_t size) { return [size](Bytes& image) { image.resize(size); }; };
    const auto none = [](Bytes&) {};
    struct Case {
        Layout layout;
        std::function<void(Bytes&)> change;
        Outcome outcome;
    };
    const Case cases[] = {
        {{32, 40, 0x3FF00000, 0xFFC00, 0x3FF}, none, Outcome::UnsupportedLayout}, // 10 bits
        {{32, 40, 0xFF00, 0xFF00, 0xFF}, none, Outcome::UnsupportedLayout},       // overlapping
        {{16, 40, 0x7C00, 0x03E0, 0x0005}, none, Outcome::UnsupportedLayout},     // with a gap
        {{32, 40, 0xFF0000, 0xFF00, 0}, none, Outcome::UnsupportedLayout},        // no blue
        {{24, 40}, set32(bmp::kBiCompression, 3), Outcome::UnsupportedLayout},    // 24-bit fields
        {{32, 40}, set32(bmp::kBiCompression, 6), Outcome::UnsupportedLayout},    // alpha fields
        {{24, 64}, none, Outcome::UnsupportedLayout},                             // OS/2 2.x
        {{24, 40, 0, 0, 0, 256},
         set32(bmp::kBfOffBits, bmp::kHeadersSize),
         Outcome::UnsupportedLayout},
        {{16, 124}, set32(bmp::kBiHeight, 8), Outcome::Truncated}, // a row short
        // The plain layout with a header that does not add up.
        {{}, bits(0), Outcome::UnsupportedLayout},
        {{}, bits(1), Outcome::AlreadyIndexed}, // a whole 1-bit image, with a trailer
        {{}, bits(8), Outcome::Truncated},      // its colour table runs past the end
        {{}, bits(48), Outcome::UnsupportedLayout},
        {{}, bits(64), Outcome::UnsupportedLayout},
        {{}, set32(bmp::kBiSize, 108), Outcome::UnsupportedLayout}, // pixels inside the header
        {{}, set32(bmp::kBiSize, 124), Outcome::UnsupportedLayout},
        {{}, set32(bmp::kBiClrUsed, 2), Outcome::UnsupportedLayout},
        {{}, set32(bmp::kBiWidth, static_cast<std::uint32_t>(-13)), Outcome::UnsupportedLayout},
        {{}, set32(bmp::kBfOffBits, 58), Outcome::Truncated}, // four bytes short now
        {{}, set32(bmp::kBiHeight, 0x7FFFFFFF), Outcome::Truncated},
        {{},
         cut(bmp::kHeadersSize + 40 * 7 - 1),
         Outcome::Truncated}, // one byte short of the last row
        {{}, cut(53), Outcome::UnsupportedLayout},
        // A file that ends inside its header tells its bit count from 30 bytes on: cut short.
        {{},
         [](Bytes& image) {
             image.resize(30);
             bmp::WriteU16(&image[bmp::kBiBitCount], 4);
         },
         Outcome::Truncated},
        {{}, cut(29), Outcome::UnsupportedLayout},
    };
    for (const Case& c : cases) {
        Bytes image = testimg::Encode(c.layout, 13, 7, Picture);
        c.change(image);
        const Converted got = ConvertBoth(image);
        SCOPED_TRACE(std::to_string(&c - cases));
        EXPECT_EQ(got.exact, c.outcome);
        EXPECT_EQ(got.diffusion, c.outcome);
        EXPECT_EQ(got.exactBytes, image);
        EXPECT_EQ(got.diffusionBytes, image);
    }
}

// Indexed files as the conversions see them: a whole one is already 256 colours to exact
// reduction and 誤差拡散, and 誤差拡散（高画質） converts it; one cut short is truncated to all
// three, before anything else; one that no drawing takes is a layout none converts.
TEST(Layouts, IndexedFilesAreWholeCutShortOrOfAKindNoneConverts) {
    using quantize::Outcome;
    const auto indexed = [](std::uint16_t bits) {
        Bytes image = testimg::MakeHeaders(13, 7, bits);
        for (std::size_t i = bmp::kHeadersSize; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 7);
        }
        return image;
    };
    // Run-length rows: a run of 13 in each row, then the end of the bitmap.
    const auto runLength = [](std::uint16_t bits) {
        Bytes image = testimg::MakeHeaders(13, 7, bits);
        image.resize(bmp::kColourTable + (std::size_t{4} << bits));
        bmp::WriteU32(&image[bmp::kBiCompression], bits == 8 ? 1 : 2);
        for (int r = 0; r < 7; ++r) {
            image.insert(image.end(), {13, static_cast<std::uint8_t>(r * 17), 0, 0});
        }
        image.insert(image.end(), {0, 1});
        return image;
    };
    const auto with = [](Bytes image, std::size_t at, std::uint32_t value, int width = 4) {
        width == 2 ? bmp::WriteU16(&image[at], static_cast<std::uint16_t>(value))
                   : bmp::WriteU32(&image[at], value);
        return image;
    };
    const auto cut = [](Bytes image, std::size_t bytes) {
        image.resize(image.size() - bytes);
        return image;
    };
    const struct {
        Bytes image;
        Outcome outcome;
    } cases[] = {
        {indexed(1), Outcome::AlreadyIndexed},
        {indexed(4), Outcome::AlreadyIndexed},
        {indexed(8), Outcome::AlreadyIndexed},
        {runLength(8), Outcome::AlreadyIndexed},
        {runLength(4), Outcome::AlreadyIndexed},
        {cut(indexed(1), 1), Outcome::Truncated},
        {cut(indexed(4), 1), Outcome::Truncated},
        {cut(indexed(8), 1), Outcome::Truncated},
        {cut(indexed(8), 13 * 7), Outcome::Truncated}, // inside the colour table
        {cut(runLength(8), 6), Outcome::Truncated},
        {cut(runLength(4), 6), Outcome::Truncated},
        {with(indexed(8), bmp::kBiBitCount, 0, 2), Outcome::UnsupportedLayout},
        {with(indexed(8), bmp::kBiBitCount, 2, 2), Outcome::UnsupportedLayout},
        {with(indexed(8), bmp::kBiBitCount, 3, 2), Outcome::UnsupportedLayout},
        {with(indexed(8), bmp::kBiBitCount, 7, 2), Outcome::UnsupportedLayout},
        {with(runLength(8), bmp::kBiHeight, static_cast<std::uint32_t>(-7)),
         Outcome::UnsupportedLayout}, // run-length rows are bottom-up only
        {with(with(runLength(8), bmp::kBiWidth, 60000), bmp::kBiHeight, 60000),
         Outcome::UnsupportedLayout}, // far more pixels than the data could hold
    };
    const Bytes table(1024, 0x3C);
    quantize::DiffusionInput adaptive{0, table.data(), quantize::kBasicPalette};
    adaptive.stages = quantize::kHighQualityDiffusion;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        const Converted got = ConvertBoth(c.image);
        EXPECT_EQ(got.exact, c.outcome);
        EXPECT_EQ(got.diffusion, c.outcome);
        EXPECT_EQ(got.exactBytes, c.image);
        EXPECT_EQ(got.diffusionBytes, c.image);
        testimg::VectorBlock block{c.image};
        EXPECT_EQ(block.Diffuse(adaptive).outcome,
                  c.outcome == Outcome::AlreadyIndexed ? Outcome::Converted : c.outcome);
    }
}

TEST(Layouts, ASixteenBitImageGrowsItsBlockBeforeAnyPixelChanges) {
    const Bytes image = testimg::Encode({16, 40}, 13, 7, Picture);
    testimg::VectorBlock full{};
    full.failGrow = true;
    const Converted got = ConvertBoth(image, full);
    EXPECT_EQ(got.exact, quantize::Outcome::NoMemory);
    EXPECT_EQ(got.diffusion, quantize::Outcome::NoMemory);
    EXPECT_EQ(got.exactBytes, image);
    EXPECT_EQ(got.diffusionBytes, image);
}

} // namespace
