// High-quality error diffusion: its palette, what it keeps, and the same bytes from one and
// two threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "tests/support/bmp_builder.h"

namespace {

using testimg::Bytes;
using testimg::ColourAt;
using testimg::Converted;
using testimg::EntryAt;
using testimg::IndexAt;
using testimg::kBlackTable;

Converted Adaptive(const Bytes& image, int fixed, const Bytes& table, int threads = 0) {
    return testimg::Diffused(image, fixed, table, quantize::kHighQualityDiffusion, threads);
}
Converted WithChoices(const Bytes& image, int fixed, const Bytes& table,
                      quantize::DitherMethod dither, quantize::Choices choices, int threads = 0) {
    return testimg::Diffused(image, fixed, table, quantize::HighQualityStages(dither), threads,
                             choices);
}

// How many pixels of an 8-bit result do not show picture(x, r) (0x00RRGGBB, r the stored
// row), of those where `where` holds.
int Misses(
    const Bytes& result, const std::function<std::uint32_t(int, int)>& picture,
    const std::function<bool(int, int)>& where = [](int, int) { return true; }) {
    int misses = 0;
    for (int r = 0; r < bmp::ReadS32(&result[bmp::kBiHeight]); ++r) {
        for (int x = 0; x < bmp::ReadS32(&result[bmp::kBiWidth]); ++x) {
            misses += where(x, r) && ColourAt(result, x, r) != (picture(x, r) & 0xFFFFFF);
        }
    }
    return misses;
}

// A user table whose byte i is i * step + add.
Bytes Table(int step, int add) {
    Bytes table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(static_cast<int>(i) * step + add);
    }
    return table;
}

// A photograph's worth of colours: smooth gradients with noise.
std::uint32_t Photo(int x, int r) {
    const std::uint32_t noise = (x * 2654435761u ^ r * 40503u) >> 27;
    return ((x + noise) & 0xFF) << 16 | ((r * 2 + noise) & 0xFF) << 8 | ((x + r) / 2 & 0xFF);
}

TEST(AdaptiveDiffusion, FixedColoursComeFirstAndFewColoursKeepEveryPixel) {
    const Bytes table = Table(97, 13);
    const Converted photo = Adaptive(testimg::Make24(61, 40, Photo), 16, table);
    ASSERT_EQ(photo.outcome, quantize::Outcome::Converted);
    for (int e = 0; e < 16; ++e) { // blue, green, red
        EXPECT_EQ(EntryAt(photo.image, e), bmp::ReadU32(&table[4 * e]) & 0xFFFFFF) << e;
    }
    // 240 colours with 16 fixed ones: each pixel keeps its colour; so do 256 without any.
    for (const int fixed : {16, 0}) {
        const int colours = 256 - fixed;
        const auto few = [colours](int x, int r) {
            return static_cast<std::uint32_t>((x * 7 + r * 31) % colours) * 0x010305u;
        };
        const Converted run = Adaptive(testimg::Make24(37, 29, few), fixed, table);
        ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
        EXPECT_EQ(Misses(run.image, few), 0) << fixed;
    }
}

// The palette is the image's: nearly every entry serves some pixel. (The same bytes from one
// thread and two: see SameBytesEverywhere.) Images of a few rows leave most of the bands the
// rows are dithered in empty.
TEST(AdaptiveDiffusion, ThePaletteServesThePixelsAndSmallImagesConvert) {
    const Converted one = Adaptive(testimg::Make24(331, 120, Photo), 0, kBlackTable, 1);
    ASSERT_EQ(one.outcome, quantize::Outcome::Converted);
    const std::set<std::uint8_t> used(one.image.begin() + bmp::k8BitPixelData, one.image.end());
    EXPECT_GT(used.size(), 240u);
    for (const auto& [width, rows] :
         {std::pair{1, 1}, std::pair{400, 1}, std::pair{400, 3}, std::pair{1, 300}}) {
        const Converted run = Adaptive(testimg::Make24(width, rows, Photo), 0, kBlackTable, 2);
        EXPECT_EQ(run.outcome, quantize::Outcome::Converted) << width << "x" << rows;
        EXPECT_EQ(run.image.size(), bmp::k8BitPixelData + rows * ((width + 3) & ~3));
    }
}

// Colours that lie close together, as in a sky: 1600 of them in a few dozen of the coarse
// bins the colours are first counted in.
std::uint32_t Sky(int x, int r) {
    return static_cast<std::uint32_t>(60 + x / 3) << 16 | static_cast<std::uint32_t>(100 + r) << 8 |
           150;
}

TEST(AdaptiveDiffusion, ColoursThatLieCloseTogetherGetAnEntryEachToSpare) {
    const Bytes table = Table(53, 7);
    const Bytes image = testimg::Make24(600, 8, Sky);
    for (const int fixed : {0, 16}) {
        const Converted one = Adaptive(image, fixed, table, 1);
        ASSERT_EQ(one.outcome, quantize::Outcome::Converted);
        EXPECT_EQ(Adaptive(image, fixed, table, 2).image, one.image) << fixed;
        // Every entry is a colour of its own: none repeats another, none is left black.
        std::set<std::uint32_t> entries;
        for (int e = 0; e < 256; ++e) {
            entries.insert(EntryAt(one.image, e));
        }
        EXPECT_EQ(entries.size(), 256u) << fixed;
        // And they are where the image needs them: a level or two from every pixel.
        double squares = 0;
        for (int r = 0; r < 8; ++r) {
            for (int x = 0; x < 600; ++x) {
                const std::uint32_t got = ColourAt(one.image, x, r), want = Sky(x, r);
                for (int shift = 0; shift < 24; shift += 8) {
                    const int d = static_cast<int>(got >> shift & 0xFF) -
                                  static_cast<int>(want >> shift & 0xFF);
                    squares += d * d;
                }
            }
        }
        const double psnr = 10 * std::log10(255.0 * 255.0 * 3 * 600 * 8 / squares);
        EXPECT_GT(psnr, 48.0) << fixed;
    }
}

// Flat panels of eight colours on a background, and between them smooth ramps of a few
// hundred more: a screenshot's kind of image.
bool InPanel(int x, int r) {
    return x % 100 < 70 && r % 60 < 40;
}
std::uint32_t Panels(int x, int r) {
    if (InPanel(x, r)) {
        return 0x203040u * static_cast<std::uint32_t>(1 + (x / 100 + r / 60) % 8) & 0xFFFFFF;
    }
    return static_cast<std::uint32_t>(x * 7 % 256) << 16 | static_cast<std::uint32_t>(r * 3) << 8 |
           static_cast<std::uint32_t>((x + r) % 256);
}

TEST(AdaptiveDiffusion, FlatAreasKeepTheirColoursExactly) {
    const Converted run = Adaptive(testimg::Make24(800, 240, Panels), 0, kBlackTable);
    ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
    EXPECT_EQ(Misses(run.image, Panels, InPanel), 0);
}

// A pixel far from every entry passes on less of its error than a near one: beside it, a grey
// between black and mid-grey stays nearer its own colour. The table is fixed (black, grey 100,
// then white), so nothing moves the entries.
TEST(AdaptiveDiffusion, AFarPixelPassesOnLessOfItsError) {
    Bytes table(1024, 0);
    std::fill(table.begin() + 4, table.begin() + 7, std::uint8_t{100});
    std::fill(table.begin() + 8, table.end(), std::uint8_t{255});
    const auto second = [&](int first, int next) {
        const auto grey = [=](int x, int) { return 0x010101u * (x == 0 ? first : next); };
        const Converted run = Adaptive(testimg::Make24(2, 1, grey), 256, table);
        EXPECT_EQ(run.outcome, quantize::Outcome::Converted);
        return ColourAt(run.image, 1, 0);
    };
    // 16 levels short of black on each channel is near: enough of it passes on to tip 46 over.
    EXPECT_EQ(second(16, 46), 0x646464u);
    // 50 levels on each channel is far: passed on whole, it would tip 34 over to grey 100.
    EXPECT_EQ(second(50, 34), 0x000000u);
}

// Fine texture that the palette follows (nearly every pixel's own entry differs from the one
// before it) passes on less of its error: more than three quarters of the pixels keep the entry
// nearest their own colour (73.7 % when it passed on as much as elsewhere). The table is fixed (a
// cube of 6 levels a channel, then greys), so nothing moves the entries.
TEST(AdaptiveDiffusion, FineTextureKeepsMostPixelsOnTheirNearestEntries) {
    Bytes table(1024, 0);
    const int step[3] = {1, 6, 36}; // blue, green, red of entry e < 216: e / step % 6
    for (int e = 0; e < 256; ++e) {
        for (int c = 0; c < 3; ++c) {
            const int level = e < 216 ? 51 * (e / step[c] % 6) : 6 * (e - 216) + 3;
            table[static_cast<std::size_t>(4 * e + c)] = static_cast<std::uint8_t>(level);
        }
    }
    const auto texture = [](int x, int r) {
        return (static_cast<std::uint32_t>(x) * 2654435761u ^
                static_cast<std::uint32_t>(r) * 40503u * 2246822519u) >>
               8;
    };
    const auto distance = [](std::uint32_t a, std::uint32_t b) {
        int sum = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int d = static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF);
            sum += d * d;
        }
        return sum;
    };
    const int width = 256, rows = 64;
    const Converted run = Adaptive(testimg::Make24(width, rows, texture), 256, table);
    ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
    int nearest = 0;
    for (int r = 0; r < rows; ++r) {
        for (int x = 0; x < width; ++x) {
            int best = 3 * 255 * 255;
            for (int e = 0; e < 256; ++e) {
                best = std::min(best, distance(texture(x, r), bmp::ReadU32(&table[4 * e])));
            }
            nearest += distance(texture(x, r), ColourAt(run.image, x, r)) == best;
        }
    }
    EXPECT_GT(nearest, width * rows * 3 / 4) << nearest;
}

// An indexed image is converted as the true-colour image its pixels show; with its own table
// as the 256 fixed colours every pixel keeps its index. 誤差拡散 still refuses it.
TEST(AdaptiveDiffusion, IndexedImagesAreConvertedAsTheColoursTheyShow) {
    std::vector<std::uint32_t> table;
    for (int i = 0; i < 256; ++i) {
        table.push_back(static_cast<std::uint32_t>(i * 0x010305 ^ (i & 7) << 20));
    }
    const auto index = [](int x, int y) {
        return static_cast<std::uint8_t>((x * 7 + y * y) & 0xFF);
    };
    const Bytes indexed = testimg::Picture8(70, 45, table, index);
    const Bytes trueColour =
        testimg::Picture24(70, 45, [&](int x, int y) { return table[index(x, y)]; });
    const Converted fromIndexed = Adaptive(indexed, 0, kBlackTable);
    ASSERT_EQ(fromIndexed.outcome, quantize::Outcome::Converted);
    EXPECT_EQ(fromIndexed.image, Adaptive(trueColour, 0, kBlackTable).image);

    const Bytes own(indexed.begin() + bmp::kColourTable, indexed.begin() + bmp::k8BitPixelData);
    const Converted remapped = Adaptive(indexed, 256, own);
    ASSERT_EQ(remapped.outcome, quantize::Outcome::Converted);
    EXPECT_EQ(remapped.image, indexed);

    const Converted basic = testimg::Diffused(indexed, 0, own);
    EXPECT_EQ(basic.outcome, quantize::Outcome::AlreadyIndexed);
    EXPECT_EQ(basic.image, indexed);
}

quantize::DiffusionPalette PaletteOf(const std::vector<Bytes>& images, quantize::Stages stages,
                                     std::size_t* refused = nullptr) {
    quantize::DiffusionInput input{0, kBlackTable.data(), quantize::kBasicPalette, 0, stages};
    std::vector<quantize::ImageBytes> bytes;
    for (const Bytes& image : images) {
        bytes.push_back({image.data(), image.size()});
    }
    quantize::DiffusionPalette palette{};
    quantize::SilentObserver silent;
    std::size_t which = 0;
    const quantize::Outcome outcome =
        quantize::PaletteOfImages(bytes, input, silent, palette, which);
    if (refused != nullptr) {
        *refused = outcome == quantize::Outcome::Converted ? images.size() : which;
    }
    return palette;
}

// One palette for several images counts them as one image, the first one's rows above the
// second's: the same colours as the images stacked into one file.
TEST(SharedPalette, SeveralImagesCountAsTheImagesStackedIntoOne) {
    const auto part = [](int r0) {
        return [r0](int x, int r) { return Panels(x, r + r0) ^ (Sky(x, r) & 0x0F0F0F); };
    };
    const std::vector<Bytes> images = {testimg::Make24(300, 50, part(100)),
                                       testimg::Make24(300, 70, part(50)),
                                       testimg::Make24(300, 30, part(0))};
    // Stored rows run bottom-up: the first image's rows come first in the stack.
    const Bytes stacked = testimg::Make24(300, 150, [&](int x, int r) {
        return r < 50 ? part(100)(x, r) : r < 120 ? part(50)(x, r - 50) : part(0)(x, r - 120);
    });
    // Without dithering, nothing fits the palette: as the split and k-means make it.
    const quantize::Stages unfitted = quantize::HighQualityStages(quantize::DitherMethod::Nearest);
    EXPECT_EQ(PaletteOf(images, unfitted), PaletteOf({stacked}, unfitted));
    // Fitted to each image's own dithering, one image's palette is that of the image alone.
    const Bytes& one = images[1];
    quantize::DiffusionPalette alone{};
    quantize::SilentObserver silent;
    ASSERT_EQ(quantize::PaletteOfImage(one.data(), one.size(),
                                       {0, kBlackTable.data(), quantize::kBasicPalette, 0,
                                        quantize::kHighQualityDiffusion},
                                       silent, alone),
              quantize::Outcome::Converted);
    EXPECT_EQ(PaletteOf({one}, quantize::kHighQualityDiffusion), alone);
    // A refused image is named by its place.
    Bytes broken = images[2];
    broken[bmp::kBiBitCount] = 12;
    std::size_t refused = 0;
    PaletteOf({images[0], images[1], broken}, quantize::kHighQualityDiffusion, &refused);
    EXPECT_EQ(refused, 2u);
}

constexpr quantize::DitherMethod kAllDithers[] = {quantize::DitherMethod::Kernel,
                                                  quantize::DitherMethod::Ordered,
                                                  quantize::DitherMethod::Nearest};

// N colours: no index reaches N and the entries from N on are black, with every dithering; an
// image of N - F colours keeps every pixel.
TEST(QualityChoices, FewerColoursLeaveTheRestOfTheTableBlack) {
    Bytes table(1024, 0);
    table[0] = 10, table[1] = 20, table[2] = 30; // one fixed colour
    for (const auto dither : kAllDithers) {
        for (const int colours : {2, 16, 64}) {
            const Converted run = WithChoices(testimg::Make24(61, 40, Photo), 1, table, dither,
                                              {colours, 100, false}, 2);
            ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
            const auto pixels = run.image.begin() + bmp::k8BitPixelData;
            EXPECT_LT(*std::max_element(pixels, run.image.end()), colours) << colours;
            EXPECT_TRUE(std::all_of(run.image.begin() + bmp::kColourTable + 4 * colours, pixels,
                                    [](std::uint8_t b) { return b == 0; }))
                << colours;
        }
    }
    const auto few = [](int x, int r) {
        return static_cast<std::uint32_t>((x + 3 * r) % 15) * 0x0F0E0D;
    };
    const Converted kept = WithChoices(testimg::Make24(30, 20, few), 1, table,
                                       quantize::DitherMethod::Kernel, {16, 100, false});
    EXPECT_EQ(Misses(kept.image, few), 0);
}

// The runs of equal pixels in a slow gradient (each row of one that runs down a photograph,
// or the steps of one in an image of few colours) are flat areas of their own, and so are
// panels of neighbouring greys; with few colours they must not take the entries the rest of
// the image needs, as near-copies of each other.
TEST(QualityChoices, TheRunsOfASlowGradientLeaveFewColoursForTheRest) {
    const auto overPhoto = [](int x, int r) {
        return r < 100 ? static_cast<std::uint32_t>(92 + r) << 16 |
                             static_cast<std::uint32_t>(144 + r / 2) << 8 | 214u
                       : Photo(x, r);
    };
    const auto steps = [](int x, int r) { // 2,048 colours in blocks of 16 x 4
        return static_cast<std::uint32_t>(60 + x / 16 * 2) << 16 |
               static_cast<std::uint32_t>(100 + r / 4) << 8 | 150u;
    };
    const auto greys = [](int x, int r) { // panels of 9 to 13 and 251 to 253 over a ramp
        constexpr int kPanels[] = {9, 10, 11, 12, 13, 251, 252, 253};
        return 0x010101u * static_cast<std::uint32_t>(r < 128 ? kPanels[x / 64] : x / 2);
    };
    for (const Bytes& image :
         {testimg::Make24(400, 200, overPhoto), testimg::Make24(512, 256, steps),
          testimg::Make24(512, 256, greys)}) {
        const Converted run =
            WithChoices(image, 0, kBlackTable, quantize::DitherMethod::Nearest, {16, 100, false});
        ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
        int closest = 3 * 255;
        for (int a = 0; a < 16; ++a) {
            for (int b = a + 1; b < 16; ++b) {
                int d = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    d += std::abs(static_cast<int>(EntryAt(run.image, a) >> shift & 0xFF) -
                                  static_cast<int>(EntryAt(run.image, b) >> shift & 0xFF));
                }
                closest = std::min(closest, d);
            }
        }
        EXPECT_GE(closest, 6) << image.size();
    }
}

// The key colour is entry 0: its pixels, and the fully transparent pixels of a 32-bit image
// with alpha, take index 0, no other pixel does, and no other entry has its colour, however
// many pixels lie close to it.
TEST(QualityChoices, TheKeyColourIsIndexZeroAndNothingElse) {
    Bytes table(1024, 0);
    table[0] = 0xFF, table[1] = 0x00, table[2] = 0xFF; // magenta: blue, green, red
    table[4] = 0xFF, table[5] = 0x00, table[6] = 0xFF; // the user's second colour too
    const auto colour = [](int x, int r) -> std::uint32_t {
        if ((x / 7 + r / 5) % 3 == 0) {
            return 0xFF00FF; // the key
        }
        return (x + r) % 4 == 0 ? 0xFE00FF : Photo(x, r); // and its near neighbours
    };
    // The same picture as a 32-bit file whose key pixels are transparent and some other colour.
    Bytes alpha = testimg::MakeHeaders(53, 37, 32);
    for (int r = 0; r < 37; ++r) {
        for (int x = 0; x < 53; ++x) {
            bmp::WriteU32(&alpha[bmp::kHeadersSize + 4 * (r * 53 + x)],
                          colour(x, r) == 0xFF00FF ? 0x00332211u : 0xFF000000u | colour(x, r));
        }
    }
    // The refinement of the highest effort too; and no pixel takes an entry beyond the 64.
    const quantize::Choices keyed{64, 100, true};
    quantize::Choices refined = keyed;
    refined.effort = quantize::kMaxEffort;
    const std::pair<quantize::DitherMethod, quantize::Choices> runs[] = {{kAllDithers[0], keyed},
                                                                         {kAllDithers[0], refined},
                                                                         {kAllDithers[1], keyed},
                                                                         {kAllDithers[2], keyed}};
    for (const auto& [dither, choices] : runs) {
        for (const Bytes& image : {testimg::Make24(53, 37, colour), alpha}) {
            const Converted run = WithChoices(image, 2, table, dither, choices);
            ASSERT_EQ(run.outcome, quantize::Outcome::Converted);
            for (int e = 1; e < 256; ++e) {
                EXPECT_NE(EntryAt(run.image, e), 0xFF00FFu) << e;
            }
            for (int r = 0; r < 37; ++r) {
                for (int x = 0; x < 53; ++x) {
                    ASSERT_EQ(IndexAt(run.image, x, r) == 0, colour(x, r) == 0xFF00FF)
                        << x << "," << r;
                    ASSERT_LT(IndexAt(run.image, x, r), 64) << x << "," << r;
                }
            }
        }
    }
}

// The ordered pattern depends on the colour and the place alone: two overlapping crops put
// onto one palette give the same index at every pixel they share, when they start at the
// pattern's period.
TEST(QualityChoices, OrderedDitheringIsTheSameWhereCropsOverlap) {
    const auto picture = [](int x, int y) { return Photo(x, y) ^ Sky(x, y); };
    const quantize::DiffusionPalette chosen =
        PaletteOf({testimg::Picture24(96, 80, picture)}, quantize::kHighQualityDiffusion);
    Bytes table(1024, 0);
    quantize::CopyToColourTable(chosen, 0, table.data());
    const auto crop = [&](int left, int top, int width, int height, quantize::DitherMethod how) {
        return WithChoices(
                   testimg::Picture24(width, height,
                                      [&](int x, int y) { return picture(left + x, top + y); }),
                   256, table, how, {}, 1)
            .image;
    };
    const Bytes a = crop(0, 0, 64, 48, quantize::DitherMethod::Ordered);
    const Bytes b = crop(24, 16, 72, 64, quantize::DitherMethod::Ordered);
    int differ = 0;
    for (int y = 16; y < 48; ++y) {
        for (int x = 24; x < 64; ++x) {
            differ += IndexAt(a, x, 47 - y) != IndexAt(b, x - 24, 63 - (y - 16));
        }
    }
    EXPECT_EQ(differ, 0);
    // And the pattern is there: the crop is not just each pixel's nearest entry.
    EXPECT_NE(a, crop(0, 0, 64, 48, quantize::DitherMethod::Nearest));
}

} // namespace
