#include "core/quantize/error_diffusion.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <random>
#include <string>

#include "core/quantize/basic_palette.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/literal_diffusion.h"
#include "tests/support/recorder.h"

namespace {

using quantize::Outcome;
using testimg::Bytes;
using testimg::Converted;
using testimg::EntryAt;

// A user palette table (blue, green, red, reserved) of 256 entries.
Bytes UserTable(std::uint32_t seed, bool withBlackAndDuplicates) {
    std::mt19937 rng(seed);
    Bytes table(1024, 0);
    for (int i = 0; i < 256; ++i) {
        table[4 * i] = static_cast<std::uint8_t>(rng());
        table[4 * i + 1] = static_cast<std::uint8_t>(rng());
        table[4 * i + 2] = static_cast<std::uint8_t>(rng());
    }
    if (withBlackAndDuplicates) {
        for (int i = 0; i < 256; i += 7) {
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = 0;
        }
        for (int i = 3; i < 256; i += 5) {
            std::copy(&table[0], &table[3], &table[4 * i]);
        }
    }
    return table;
}

Converted Engine(const Bytes& image, int fixed, const Bytes& table, int threads = 0,
                 quantize::Stages method = quantize::kBasicDiffusion) {
    return testimg::Diffused(image, fixed, table, method, threads);
}

// The most memory this process has held so far.
long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Converted Literal(const Bytes& image, int fixed, const Bytes& table) {
    Converted run{Outcome::Converted, image, {}, {}};
    testimg::Recorder recorder;
    run.outcome =
        literal::Diffuse(run.image, fixed, table.data(), quantize::kBasicPalette, recorder);
    run.events = recorder.events;
    return run;
}

// A palette of the user's 256 colours where pixel (108, 92, 100) maps to entry 0 with
// errors +8, -8, 0, and pixel (50, 50, 50) becomes entry 3 exactly when it receives the
// right share (+3, -3, 0).
Bytes LastRowTable() {
    Bytes table(1024);
    for (int e = 0; e < 256; ++e) { // entry 3: red 53, green 47, blue 50
        bmp::WriteU32(&table[4 * e], e == 0   ? 0x646464
                                     : e == 2 ? 0x323232
                                     : e == 3 ? 0x352F32
                                              : 0xFFFFFF);
    }
    return table;
}

TEST(ErrorDiffusion, TheLastRowPassesOnlyErrorsThatDoNotCancelOut) {
    const auto colour = [](int x, int) { return x == 0 ? 0x6C5C64u : 0x323232u; };
    // One row: it is the last row, so +8 - 8 + 0 passes nothing.
    const Converted oneRow = Engine(testimg::Make24(2, 1, colour), 256, LastRowTable());
    ASSERT_EQ(oneRow.outcome, Outcome::Converted);
    EXPECT_EQ(Bytes(oneRow.image.begin() + bmp::k8BitPixelData, oneRow.image.end()),
              (Bytes{0, 2, 0, 0}));
    // Two rows: the first row passes +3, -3, 0 to the right.
    const Converted twoRows = Engine(testimg::Make24(2, 2, colour), 256, LastRowTable());
    ASSERT_EQ(twoRows.outcome, Outcome::Converted);
    EXPECT_EQ(testimg::IndexAt(twoRows.image, 0, 0), 0);
    EXPECT_EQ(testimg::IndexAt(twoRows.image, 1, 0), 3);
}

// A small image grows its block to the 8-bit layout (the bytes of the literal algorithm, as
// every generated image below); a block that cannot grow leaves the image as it was.
TEST(ErrorDiffusion, SmallImagesGrowTheirBlockOrStayAsTheyWere) {
    const Bytes table = UserTable(5, false);
    const Bytes small = testimg::Make24(8, 8, [](int x, int r) { return x * 30u + r; });
    ASSERT_EQ(small.size(), 246u);
    const Converted grown = Engine(small, 0, table);
    ASSERT_EQ(grown.outcome, Outcome::Converted);
    EXPECT_EQ(grown.image.size(), 1142u);
    EXPECT_EQ(bmp::ReadU32(&grown.image[bmp::kBfSize]), 1142u);
    EXPECT_EQ(bmp::ReadU32(&grown.image[bmp::kBiSizeImage]), 64u);
    EXPECT_EQ(EntryAt(grown.image, 0), 0x0000FFu); // basic colours fill entries 0..41 when F = 0

    testimg::VectorBlock full{small};
    full.failGrow = true;
    EXPECT_EQ(full.Diffuse({0, table.data(), quantize::kBasicPalette}).outcome, Outcome::NoMemory);
    EXPECT_EQ(full.bytes, small);
}

TEST(ErrorDiffusion, ImagesOfEightBitsOrFewerAreRefusedAfterTheOpeningCounts) {
    const Bytes table = UserTable(1, false);
    for (const std::uint16_t bits : {std::uint16_t{1}, std::uint16_t{4}, std::uint16_t{8}}) {
        const Bytes image = testimg::MakeHeaders(6, 6, bits);
        const Converted run = Engine(image, 12, table);
        EXPECT_EQ(run.outcome, Outcome::AlreadyIndexed);
        EXPECT_EQ(run.image, image);
        EXPECT_EQ(run.events, std::vector<std::string>{"open 12 42 202"});
        EXPECT_EQ(Literal(image, 12, table).events, run.events);
    }
}

// Entries from `first` on are black.
bool BlackFrom(const Bytes& result, int first) {
    for (int e = first; e < 256; ++e) {
        if (EntryAt(result, e) != 0) {
            return false;
        }
    }
    return true;
}

TEST(ErrorDiffusion, AnImageWithNoPixelsGetsAnAllBasicPalette) {
    const Converted run =
        Engine(testimg::Make24(0, 4, [](int, int) { return 0u; }), 0, UserTable(2, false));
    ASSERT_EQ(run.outcome, Outcome::Converted);
    EXPECT_EQ(run.image.size(), bmp::k8BitPixelData);
    EXPECT_TRUE(BlackFrom(run.image, 42));
    // No rows, however wide: nothing is set aside for a row that never comes (a row of
    // 2^31 pixels would take 6 GB).
    Bytes wide = testimg::Make24(0, 0, [](int, int) { return 0u; });
    bmp::WriteU32(&wide[bmp::kBiWidth], 0x7FFFFFFF);
    const long peakBefore = PeakMemoryKb();
    const Converted wideRun = Engine(wide, 0, UserTable(2, false));
    ASSERT_EQ(wideRun.outcome, Outcome::Converted);
    EXPECT_EQ(wideRun.image.size(), bmp::k8BitPixelData);
    EXPECT_LT(PeakMemoryKb() - peakBefore, 256 * 1024);
}

// The engine against the literal algorithm: image bytes and every report.
// One thread and two dither the rows in different orders: both must give the same bytes.
void ExpectSameAsLiteral(const Bytes& image, int fixed, const Bytes& table,
                         const std::string& what) {
    const Converted literalRun = Literal(image, fixed, table);
    for (int threads : {1, 2}) {
        const Converted engineRun = Engine(image, fixed, table, threads);
        const std::string how = what + ", " + std::to_string(threads) + " thread(s)";
        ASSERT_EQ(engineRun.outcome, literalRun.outcome) << how;
        ASSERT_EQ(engineRun.image, literalRun.image) << how;
        ASSERT_EQ(engineRun.events, literalRun.events) << how;
    }
}

TEST(ErrorDiffusion, MatchesTheLiteralAlgorithmOnGeneratedImages) {
    int compared = 0;
    std::uint32_t seed = 100;
    const int sizes[][2] = {{1, 1}, {1, 9}, {2, 3}, {3, 2},  {4, 4},   {5, 1}, {6, 7},
                            {7, 5}, {8, 3}, {9, 9}, {17, 6}, {33, 12}, {64, 1}};
    for (int fixed : {0, 1, 100, 214, 215, 230, 255, 256}) {
        const Bytes table = UserTable(seed, fixed % 2 == 0);
        for (const auto [width, rows] : sizes) {
            for (int colours : {1, 3, 40, 300}) {
                ++seed;
                const Bytes image =
                    testimg::MakeRandom(width, rows, std::min(colours, width * rows), seed,
                                        static_cast<std::uint8_t>(seed));
                ExpectSameAsLiteral(image, fixed, table,
                                    "F=" + std::to_string(fixed) + " " + std::to_string(width) +
                                        "x" + std::to_string(rows) + " colours " +
                                        std::to_string(colours));
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 8 * 13 * 4);
}

TEST(ErrorDiffusion, MatchesTheLiteralAlgorithmOnGradientsThatSaturate) {
    // Smooth ramps into the corners of the cube: errors pile up against 0 and 255.
    std::mt19937 rng(9);
    for (auto [width, rows] : {std::pair{37, 23}, {120, 40}, {1, 150}, {150, 1}}) {
        const Bytes image = testimg::Make24(width, rows, [&](int x, int r) {
            const std::uint32_t red = static_cast<std::uint32_t>(x * 255 / std::max(1, width - 1));
            const std::uint32_t green = static_cast<std::uint32_t>(r * 255 / std::max(1, rows - 1));
            const std::uint32_t blue = (rng() % 3 == 0) ? 255 : 250;
            return red << 16 | green << 8 | blue;
        });
        for (int fixed : {0, 214}) {
            ExpectSameAsLiteral(image, fixed, UserTable(3, true),
                                "gradient " + std::to_string(width) + "x" + std::to_string(rows));
        }
    }
}

TEST(ErrorDiffusion, MatchesTheLiteralAlgorithmWhenTwoThreadsMeetInsideRows) {
    // Shaded bands with a few hundred colours, in rows wide enough for one thread to wait for
    // the other in the middle of a row.
    const Bytes image = testimg::Make24(331, 207, [](int x, int r) {
        const std::uint32_t red = static_cast<std::uint32_t>(x * 255 / 330) & 0xF0;
        const std::uint32_t green = static_cast<std::uint32_t>(r * 255 / 206) & 0xE0;
        const std::uint32_t blue = static_cast<std::uint32_t>((x + r) % 97) & 0x1C;
        return red << 16 | green << 8 | blue;
    });
    ExpectSameAsLiteral(image, 20, UserTable(11, true), "331 x 207 bands");
}

// Ten rows do not split evenly into the high-quality method's eight bands: its dithering
// progress still goes forward only, by every multiple of 100, with one thread or two; at the
// highest effort on through the refinement's three passes, the dithering counting as one.
TEST(ErrorDiffusion, HighQualityProgressOnlyGoesForward) {
    const Bytes image = testimg::MakeRandom(97, 10, 5000, 3, 0);
    for (const int effort : {quantize::kDefaultEffort, quantize::kMaxEffort}) {
        quantize::Choices choices;
        choices.effort = effort;
        const int parts = effort == quantize::kMaxEffort ? 4 : 1;
        for (const int threads : {1, 2}) {
            const Converted run = testimg::Diffused(
                image, 0, testimg::kBlackTable, quantize::kHighQualityDiffusion, threads, choices);
            const auto dithering = std::find(run.events.begin(), run.events.end(), "phase 2");
            ASSERT_NE(dithering, run.events.end());
            std::vector<std::string> counts(dithering + 1, run.events.end() - 1);
            std::vector<std::string> expected;
            for (int done = 0; done < parts * 10 * 100; done += 100) { // ten rows of 100
                expected.push_back(std::to_string(done) + "/" + std::to_string(parts * 1000));
            }
            EXPECT_EQ(counts, expected) << threads << " thread(s), effort " << effort;
        }
    }
}

TEST(ErrorDiffusion, FrequencyTiesGoToTheColourMetFirst) {
    // 215 colours outside the basic group: 214 free places. The last two colours each occur
    // twice; the one met first in storage order gets the last free place.
    std::vector<std::uint32_t> pixels;
    for (int c = 0; c < 213; ++c) {
        for (int n = 0; n < 3; ++n) {
            pixels.push_back(0x010101u * 3 + static_cast<std::uint32_t>(c) * 0x000307u);
        }
    }
    const std::uint32_t late = 0x7A7B7C, early = 0x3C3D3E;
    pixels.insert(pixels.begin() + 5, early);
    pixels.insert(pixels.end(), {early, late, late});
    const int width = static_cast<int>(pixels.size());
    const Bytes image =
        testimg::Make24(width, 1, [&](int x, int) { return pixels[static_cast<std::size_t>(x)]; });
    const Bytes table = UserTable(4, false);
    ExpectSameAsLiteral(image, 0, table, "ties");
    EXPECT_EQ(EntryAt(Engine(image, 0, table).image, 255), early);
}

TEST(ErrorDiffusion, CountsBeyondSixteenBitsRankCorrectly) {
    // 70000 pixels of one colour, 66000 of another, a few of others: the two big counts pass
    // 65535 and must still come first, in the right order.
    const std::uint32_t big = 0x101112, bigger = 0x202122;
    const Bytes image = testimg::Make24(400, 350, [&](int x, int r) {
        const int i = r * 400 + x;
        return i < 66000    ? big
               : i < 136000 ? bigger
                            : static_cast<std::uint32_t>(0x300000 + i % 300);
    });
    const Bytes table = UserTable(6, false);
    const Converted run = Engine(image, 0, table);
    ASSERT_EQ(run.outcome, Outcome::Converted);
    EXPECT_EQ(EntryAt(run.image, 42), bigger);
    EXPECT_EQ(EntryAt(run.image, 43), big);
    EXPECT_EQ(run.image, Literal(image, 0, table).image);
}

TEST(ErrorDiffusion, CountsOnBothSidesOfEveryCarryRankCorrectly) {
    // 240 colours, each counted a number of times just below, at or just above a multiple
    // of 127 or 128, scattered so that ties are met in an order unlike their colours'.
    const int counts[] = {126, 127, 128, 129, 253, 254, 255, 256, 257, 380, 381, 382, 383, 384};
    std::vector<std::uint32_t> pixels;
    for (int c = 0; c < 240; ++c) {
        const std::uint32_t colour = static_cast<std::uint32_t>(c * 0x010305 + 0x203040);
        pixels.insert(pixels.end(), static_cast<std::size_t>(counts[(c * 7) % 14]), colour);
    }
    std::shuffle(pixels.begin(), pixels.end(), std::mt19937(12));
    const int width = 250;
    const int rows = static_cast<int>(pixels.size()) / width;
    const Bytes image = testimg::Make24(
        width, rows, [&](int x, int r) { return pixels[static_cast<std::size_t>(r * width + x)]; });
    ExpectSameAsLiteral(image, 0, UserTable(7, false), "counts across carries");
}

TEST(ErrorDiffusion, ColoursOfTheFixedAndBasicGroupsLeaveTheFreeGroupBlack) {
    // Every pixel is a basic colour or one of the first ten user colours.
    const Bytes table = UserTable(8, false);
    const Bytes image = testimg::Make24(19, 11, [&](int x, int r) {
        if ((x + r) % 2 == 0) {
            const std::uint8_t* c = quantize::kBasicPalette + 3 * ((x * r) % 42);
            return static_cast<std::uint32_t>(c[0] << 16 | c[1] << 8 | c[2]);
        }
        return bmp::ReadU32(&table[4 * ((x + 3 * r) % 10)]) & 0xFFFFFF;
    });
    ExpectSameAsLiteral(image, 10, table, "all in groups");
    EXPECT_TRUE(BlackFrom(Engine(image, 10, table).image, 52));
}

} // namespace
