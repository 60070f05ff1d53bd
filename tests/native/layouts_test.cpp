// The true-colour layouts other tools write: both conversions give the bytes of the plain
// 24-bit file of the same pixels.
#include <gtest/gtest.h>

#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"
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

TEST(Layouts, WhatStillCannotBeReadIsRefusedUnchanged) {
    using quantize::Outcome;
    struct Case {
        Layout layout;
        std::size_t at; // where `value` is written over the file, if not 0
        std::uint32_t value;
        Outcome outcome;
    };
    const Case cases[] = {
        {{32, 40, 0x3FF00000, 0xFFC00, 0x3FF}, 0, 0, Outcome::UnsupportedLayout},  // 10 bits
        {{32, 40, 0xFF00, 0xFF00, 0xFF}, 0, 0, Outcome::UnsupportedLayout},        // overlapping
        {{16, 40, 0x7C00, 0x03E0, 0x0005}, 0, 0, Outcome::UnsupportedLayout},      // with a gap
        {{32, 40, 0xFF0000, 0xFF00, 0}, 0, 0, Outcome::UnsupportedLayout},         // no blue
        {{24, 40}, bmp::kBiCompression, 3, Outcome::UnsupportedLayout},            // 24-bit fields
        {{32, 40}, bmp::kBiCompression, 6, Outcome::UnsupportedLayout},            // alpha fields
        {{24, 64}, 0, 0, Outcome::UnsupportedLayout},                              // OS/2 2.x
        {{24, 40, 0, 0, 0, 256}, bmp::kBfOffBits, 54, Outcome::UnsupportedLayout}, // in the table
        {{16, 124}, bmp::kBiHeight, 8, Outcome::Truncated},                        // a row short
    };
    for (const Case& c : cases) {
        Bytes image = testimg::Encode(c.layout, 13, 7, Picture);
        if (c.at != 0) {
            bmp::WriteU32(&image[c.at], c.value);
        }
        const Converted got = ConvertBoth(image);
        EXPECT_EQ(got.exact, c.outcome) << c.layout.bits << " " << c.layout.headerSize;
        EXPECT_EQ(got.diffusion, c.outcome);
        EXPECT_EQ(got.exactBytes, image);
        EXPECT_EQ(got.diffusionBytes, image);
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
