// Tile images: each tile drawn from one palette, the shared entries alike in every palette, an
// image made of few enough tile palettes kept whole, the targets' shapes, and what the command
// line refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include "cli/options.h"
#include "core/quantize/device_colours.h"
#include "core/tiles/tiles.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"

namespace {

using testimg::Bytes;

constexpr quantize::DitherMethod kDithers[] = {quantize::DitherMethod::Kernel,
                                               quantize::DitherMethod::Ordered,
                                               quantize::DitherMethod::Nearest};

std::uint32_t Photo(int x, int y) {
    const std::uint32_t noise =
        (static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u) >>
        27;
    return ((x * 5 + noise) & 0xFF) << 16 | ((y * 7 + noise) & 0xFF) << 8 | ((x + y) * 3 & 0xFF);
}

Bytes Convert(Bytes image, const tiles::TileInput& input, tiles::TileReport* report = nullptr) {
    testimg::VectorBlock block{std::move(image)};
    testimg::Recorder quiet;
    EXPECT_EQ(tiles::ConvertTiles(block.bytes.data(), block.bytes.size(), block.Resizer(), input,
                                  quiet, report)
                  .outcome,
              quantize::Outcome::Converted);
    return block.bytes;
}

// 30 x 21 pixels: partial tiles on the right and at the bottom for 8 x 8.
constexpr int kWidth = 30, kHeight = 21;

TEST(Tiles, EveryTileTakesOnePalettesEntriesAndTheSharedOnesAreAlikeInEach) {
    Bytes table(1024, 0);
    table[0] = 0x10, table[1] = 0x20, table[2] = 0x30; // a fixed colour off the grid
    for (const quantize::DitherMethod dither : kDithers) {
        tiles::TileInput input;
        input.shape = tiles::FindTarget("snes")->shape;
        input.shape.palettes = 4;
        input.shape.shared = 2;
        input.fixedCount = 1;
        input.fixedTable = table.data();
        input.stages = quantize::HighQualityStages(dither);
        tiles::TileReport report;
        const Bytes out = Convert(testimg::Picture24(kWidth, kHeight, Photo), input, &report);
        const int k = input.shape.size;
        const int across = (kWidth + 7) / 8, down = (kHeight + 7) / 8;
        std::vector<std::set<int>> palettesOfTile(static_cast<std::size_t>(across * down));
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                palettesOfTile[static_cast<std::size_t>(y / 8 * across + x / 8)].insert(
                    testimg::IndexAt(out, x, kHeight - 1 - y) / k);
            }
        }
        int counted = 0;
        for (const std::set<int>& palettes : palettesOfTile) {
            EXPECT_EQ(palettes.size(), 1u);
            EXPECT_LT(*palettes.begin(), input.shape.palettes);
        }
        for (const int n : report.tilesOfPalette) {
            counted += n;
        }
        EXPECT_EQ(counted, across * down);
        EXPECT_GT(report.psnr, 20);
        const quantize::DeviceColours grid({5, 5, 5}, nullptr, 0);
        for (int p = 0; p < input.shape.palettes; ++p) {
            EXPECT_EQ(testimg::EntryAt(out, p * k), 0x302010u);
            EXPECT_EQ(testimg::EntryAt(out, p * k + 1), testimg::EntryAt(out, 1));
            std::set<std::uint32_t> own;
            for (int i = 1; i < k; ++i) {
                EXPECT_TRUE(grid.Holds(testimg::EntryAt(out, p * k + i))) << p << " " << i;
                EXPECT_TRUE(own.insert(testimg::EntryAt(out, p * k + i)).second) << p << " " << i;
            }
        }
    }
}

TEST(Tiles, AnImageMadeOfFewEnoughTilePalettesKeepsEveryPixel) {
    // 4 palettes of 3 own colours and a shared backdrop; each tile (the last ones partial)
    // draws from one of them at random.
    const auto colourOf = [](int p, int i) {
        return i == 0 ? 0x000000u : static_cast<std::uint32_t>(0x123456 * (p * 3 + i)) & 0xFFFFFF;
    };
    const auto picture = [&](int x, int y) {
        const int tile = y / 8 * 4 + x / 8;
        const int p = (tile * 7) % 4;
        return colourOf(p, static_cast<int>((static_cast<unsigned>(x * 31 + y * 17) >> 2) % 4));
    };
    const Bytes source = testimg::Picture24(kWidth, kHeight, picture);
    for (const quantize::DitherMethod dither : kDithers) {
        tiles::TileInput input;
        input.shape = {8, 8, 4, 4, 1, {8, 8, 8}};
        input.stages = quantize::HighQualityStages(dither);
        tiles::TileReport report;
        const Bytes out = Convert(source, input, &report);
        for (int r = 0; r < kHeight; ++r) {
            for (int x = 0; x < kWidth; ++x) {
                ASSERT_EQ(testimg::ColourAt(out, x, r), picture(x, kHeight - 1 - r))
                    << x << ", " << r;
            }
        }
        EXPECT_TRUE(std::isinf(report.psnr));
    }
}

bool Parse(const std::string& line, cli::Options& options, std::string& problem) {
    std::vector<std::string> words = {"tintwright"};
    for (std::size_t at = 0, end = 0; at <= line.size(); at = end + 1) {
        end = std::min(line.find(' ', at), line.size());
        words.push_back(line.substr(at, end - at));
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    return cli::ParseArguments(static_cast<int>(argv.size()), argv.data(), options, problem);
}

TEST(Tiles, ATargetSetsItsShapeAndALaterFlagOverridesIt) {
    const tiles::TileShape gba{8, 8, 16, 16, 1, {5, 5, 5}};
    EXPECT_EQ(tiles::FindTarget("gba")->shape, gba);
    EXPECT_EQ(tiles::FindTarget("nes")->shape, (tiles::TileShape{16, 16, 4, 4, 1, {8, 8, 8}}));
    EXPECT_EQ(tiles::FindTarget("amiga"), nullptr);
    for (int i = 0; i < tiles::kTargetCount; ++i) {
        EXPECT_EQ(tiles::CheckShape(tiles::kTargets[i].shape, tiles::kTargets[i].shape.shared),
                  tiles::ShapeProblem::Fine);
    }
    cli::Options options;
    std::string problem;
    ASSERT_TRUE(Parse("tiles a.bmp --target gba --shared 2 --depth 4", options, problem))
        << problem;
    EXPECT_EQ(options.tileShape, (tiles::TileShape{8, 8, 16, 16, 2, {4, 4, 4}}));
    cli::Options later;
    ASSERT_TRUE(Parse("tiles a.bmp --tile 16x8 --palettes 2 --target gba", later, problem));
    EXPECT_EQ(later.tileShape, gba);
}

TEST(Tiles, ImpossibleShapesAreUsageErrorsAndNothingIsWritten) {
    testimg::TempFolder folder;
    testimg::WriteFileBytes(folder.Path("in.bmp"), testimg::Picture24(kWidth, kHeight, Photo));
    const std::string out = folder.Path("out.bmp");
    const std::string run = std::string(TW_CLI_PATH) + " tiles " + folder.Path("in.bmp") + " -o " +
                            out + " 2>" + folder.Path("err.txt") + " ";
    const std::pair<const char*, const char*> cases[] = {
        {"--palettes 16 --size 32", "make 512 entries"},
        {"--tile 0x8", "--tile takes WxH"},
        {"--size 4 --shared 5", "--shared 5 is more than a palette's 4 entries"},
        {"--shared 0 --palette x.gpl --fixed 1", "the fixed colours go into the shared entries"},
        {"--target amiga", "--target takes snes, gba, gbc, genesis, nes or pce"},
        {"--target snes --key", "--key takes the first fixed colour"},
    };
    for (const auto& [arguments, said] : cases) {
        const int status = std::system((run + arguments).c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments;
        const Bytes err = testimg::ReadFileBytes(folder.Path("err.txt"));
        EXPECT_NE(std::string(err.begin(), err.end()).find(said), std::string::npos)
            << arguments << ": " << std::string(err.begin(), err.end());
        EXPECT_FALSE(testimg::PathExists(out)) << arguments;
    }
    // A good run writes the image and the palettes, and tells the figures.
    const std::string pal = folder.Path("tiles.hex");
    ASSERT_EQ(std::system((run + "--target gbc --report --palette-out " + pal).c_str()), 0);
    const Bytes hex = testimg::ReadFileBytes(pal); // a colour a line: the 8 palettes of 4
    EXPECT_EQ(std::count(hex.begin(), hex.end(), '\n'), 32);
    const Bytes told = testimg::ReadFileBytes(folder.Path("err.txt"));
    EXPECT_NE(std::string(told.begin(), told.end()).find(": PSNR "), std::string::npos);
    EXPECT_EQ(testimg::ReadFileBytes(out)[bmp::kBiBitCount], 8);
}

} // namespace
