// The same bytes on every platform: the results of both methods of error diffusion on one
// generated image, pinned by their hashes. This file is built into the native tests and into
// the Windows tests alike, so a platform whose arithmetic differs fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/quantize/basic_palette.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"

namespace {

// A photograph's worth of colours from integer arithmetic alone: gradients with grain.
std::uint32_t Grainy(int x, int r) {
    const std::uint32_t grain =
        (static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(r) * 40503u) >>
        28;
    const std::uint32_t red = static_cast<std::uint32_t>(x * 255 / 419) + grain;
    const std::uint32_t green = static_cast<std::uint32_t>((x + 2 * r) * 255 / 1019) + grain / 2;
    const std::uint32_t blue = static_cast<std::uint32_t>(200 - r / 2) ^ (grain & 3);
    return (red > 255 ? 255 : red) << 16 | (green > 255 ? 255 : green) << 8 | (blue & 0xFF);
}

// The same with flat stretches: in every other run of 16 pixels each row is one colour.
std::uint32_t PartlyFlat(int x, int r) {
    return Grainy((x / 16) % 2 == 0 ? x : x / 16 * 16, r / 4 * 4);
}

// A sky: slow gradients with a level of grain, smooth where few colours lie far apart.
std::uint32_t Sky(int x, int r) {
    const std::uint32_t grain =
        (static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(r) * 40503u) >>
        31;
    return static_cast<std::uint32_t>(60 + x / 8 + grain) << 16 |
           static_cast<std::uint32_t>(90 + r / 4) << 8 |
           static_cast<std::uint32_t>(180 + x / 16 - grain);
}

std::uint64_t Converted(const quantize::Stages& stages, int fixed, int threads,
                        quantize::Choices choices = {}, std::uint32_t (*image)(int, int) = Grainy) {
    testimg::Bytes table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(i * 29 + 3);
    }
    testimg::VectorBlock block{testimg::Make24(420, 300, image)};
    const auto result =
        block.Diffuse({fixed, table.data(), quantize::kBasicPalette, threads, stages, choices});
    EXPECT_EQ(result.outcome, quantize::Outcome::Converted);
    return testimg::Fnv(block.bytes);
}

TEST(SameBytesEverywhere, HighQualityDiffusion) {
    for (const int threads : {1, 2}) {
        EXPECT_EQ(Converted(quantize::kHighQualityDiffusion, 0, threads), 10917712456982746939u)
            << threads;
        EXPECT_EQ(Converted(quantize::kHighQualityDiffusion, 16, threads), 8352713109980031684u)
            << threads;
        EXPECT_EQ(Converted(quantize::kHighQualityDiffusion, 0, threads, {}, PartlyFlat),
                  6812847254796836967u)
            << threads;
    }
}

// 高画質の設定: fewer colours with a weaker dithering and a key colour, and the ordered pattern.
TEST(SameBytesEverywhere, HighQualityChoices) {
    using quantize::DitherMethod;
    for (const int threads : {1, 2}) {
        EXPECT_EQ(Converted(quantize::HighQualityStages(DitherMethod::Kernel), 4, threads,
                            {64, 70, true}),
                  12189605637035923752u)
            << threads;
        EXPECT_EQ(Converted(quantize::HighQualityStages(DitherMethod::Kernel), 0, threads,
                            {16, 100, false}, Sky),
                  7203025467175926729u)
            << threads;
        EXPECT_EQ(Converted(quantize::HighQualityStages(DitherMethod::Ordered), 0, threads,
                            {100, 100, false}),
                  14964559255090071388u)
            << threads;
    }
}

// The refinement of higher efforts: the highest, and 6 (the palette still fitted) with fewer
// colours and a key colour.
TEST(SameBytesEverywhere, RefinedEfforts) {
    quantize::Choices highest;
    highest.effort = quantize::kMaxEffort;
    quantize::Choices keyed{64, 100, true};
    keyed.effort = 6;
    for (const int threads : {1, 2}) {
        EXPECT_EQ(Converted(quantize::kHighQualityDiffusion, 0, threads, highest),
                  16798783517623266223u)
            << threads;
        EXPECT_EQ(Converted(quantize::kHighQualityDiffusion, 4, threads, keyed, PartlyFlat),
                  16434156008790560614u)
            << threads;
    }
}

// Every other dithering of 高画質の設定 at 64 colours: each kernel (one of them in one direction,
// one in linear light) and each pattern.
TEST(SameBytesEverywhere, EveryKernelAndPattern) {
    struct Pin {
        const char* name;
        bool serpentine, linear;
        std::uint64_t hash;
    };
    const Pin pins[] = {
        {"atkinson", true, false, 12370650083123380713u},
        {"sierra", true, false, 11392762261078571858u},
        {"sierra2", true, false, 6646100291211945544u},
        {"sierra-lite", true, false, 10133770647625163233u},
        {"jjn", true, false, 8027917172219934150u},
        {"stucki", true, false, 11445414939948819u},
        {"burkes", true, false, 14398865652244058315u},
        {"burkes", false, false, 8885319449156816765u},
        {"fs", true, true, 16343622174517099395u},
        {"bayer2", true, false, 13968413194285596436u},
        {"bayer4", true, false, 16012997617251022300u},
        {"bayer16", true, false, 8202565903187641970u},
        {"blue-noise", true, false, 4316640314497470365u},
    };
    for (const Pin& pin : pins) {
        const auto named =
            std::find_if(std::begin(quantize::kDitherings), std::end(quantize::kDitherings),
                         [&](const quantize::Dithering& d) { return d.name == pin.name; });
        ASSERT_NE(named, std::end(quantize::kDitherings)) << pin.name;
        quantize::Choices choices;
        choices.colours = 64;
        choices.serpentine = pin.serpentine;
        choices.linear = pin.linear;
        const quantize::Stages stages = quantize::ApplyDithering(*named, choices);
        for (const int threads : {1, 2}) {
            EXPECT_EQ(Converted(stages, 0, threads, choices), pin.hash)
                << pin.name << (pin.serpentine ? "" : " --no-serpentine")
                << (pin.linear ? " --linear" : "") << ", threads " << threads;
        }
    }
}

TEST(SameBytesEverywhere, BasicDiffusion) {
    EXPECT_EQ(Converted(quantize::kBasicDiffusion, 0, 1), 12502703768901219736u);
    EXPECT_EQ(Converted(quantize::kBasicDiffusion, 20, 2), 6199272045103419267u);
}

} // namespace
