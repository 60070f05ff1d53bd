// タイル from the menu: a rule the fixed colours do not fit is told before the run, and the
// result is an 8-bit image whose every tile takes its indices from one palette.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/bmp/layout.h"
#include "win/app/settings.h"
#include "win/palette/user_palette.h"
#include "win/reduce/conversion_run.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

class TileCommandTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(300, 200);
    }
    void TearDown() override {
        WaitForTheRun();
        ProgramTest::TearDown();
    }
};

// A picture whose tiles of 4 x 4 differ in hue, with a seam of colour down each.
std::uint32_t Patches(int x, int y) {
    const std::uint32_t tile = static_cast<std::uint32_t>(x / 4 * 3 + y / 4);
    return (tile * 40 & 0xFF) << 16 | static_cast<std::uint32_t>((x * 9 + y * 5) & 0xFF) << 8 |
           (x % 4 == 1 ? 0xF0u : 0x10u);
}

TEST_F(TileCommandTest, FixedColoursBeyondTheSharedEntriesAreToldAndNothingRuns) {
    SavedPalette = NewPaletteTable();
    FixedCount = 3;
    TileShared = 2;
    const Bytes image = Picture24(12, 8, Patches);
    Load(image, "tiles_fixed.bmp");
    Seams.messageAnswer = IDYES;
    Diffuse(IDM_REDUCE_TILES);
    EXPECT_EQ(Told(), (std::vector<std::string>{"固定パレットを使いますか？",
                                                "固定パレットの使用数は共通色以下にしてください"}));
    EXPECT_EQ(DocumentBytes(), image);
}

TEST_F(TileCommandTest, EveryTileTakesItsIndicesFromOnePalette) {
    TileWidth = TileHeight = 4;
    TilePalettes = 4;
    TileSize = 8;
    TileShared = 1;
    TileTarget[0] = '\0';
    const int width = 14, height = 10; // partial tiles at the right and the bottom
    Load(Picture24(width, height, Patches), "tiles.bmp");
    Seams.messageAnswer = IDNO;
    Diffuse(IDM_REDUCE_TILES);
    const Bytes result = DocumentBytes();
    ASSERT_GE(result.size(), bmp::kColourTable + 1024u);
    ASSERT_EQ(result[28], 8); // bits a pixel
    const std::size_t offset = result[10] | result[11] << 8 | result[12] << 16;
    const int stride = (width + 3) / 4 * 4;
    const auto index = [&](int x, int y) { // y from the top of the bottom-up rows
        return result[offset + static_cast<std::size_t>((height - 1 - y) * stride + x)];
    };
    for (int ty = 0; ty < height; ty += 4) {
        for (int tx = 0; tx < width; tx += 4) {
            const int palette = index(tx, ty) / 8;
            EXPECT_LT(palette, 4);
            for (int y = ty; y < std::min(ty + 4, height); ++y) {
                for (int x = tx; x < std::min(tx + 4, width); ++x) {
                    EXPECT_EQ(index(x, y) / 8, palette) << x << "," << y;
                }
            }
        }
    }
}

} // namespace
