// Exact reduction driven through the main window's command 40005.
#include <gtest/gtest.h>

#include "core/bmp/layout.h"
#include "win/document/document.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t ThreeColours(int x, int y) {
    static const std::uint32_t colours[3] = {0xC01020, 0x30D040, 0x5060E0};
    return colours[(x / 3 + y / 2) % 3];
}

class ExactCommand : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(300, 200);
    }
};

TEST_F(ExactCommand, ConvertsRepaintsWithTheNewPaletteAndSavesTheResult) {
    const std::string path = Write(Picture24(37, 23, ThreeColours), "exact_three.bmp");
    OpenWithDialog(path);
    // A palette left from an earlier image is dropped by the conversion.
    LOGPALETTE stale = {0x300, 1, {{1, 2, 3, 0}}};
    ScreenPalette.object = CreatePalette(&stale);
    ScreenPalette.built = TRUE;

    Command(IDM_REDUCE_EXACT);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_FALSE(ScreenPalette.built);
    const Bytes converted = DocumentBytes();
    ASSERT_EQ(ImageBytes, bmp::k8BitPixelData + 40 * 23);
    EXPECT_EQ(converted[bmp::kBiBitCount], 8);
    EXPECT_EQ(GlobalSize(ImageBuffer), ImageBytes);

    RECT update;
    EXPECT_TRUE(GetUpdateRect(window_, &update, FALSE)); // a repaint is pending
    const Capture shot = Paint();
    EXPECT_TRUE(ScreenPalette.built);
    EXPECT_EQ(GetPaletteEntries(ScreenPalette.object, 0, 0, nullptr), 256u);
    EXPECT_EQ(shot.Misses(37, 23, ThreeColours), 0);

    Command(IDM_SAVE);
    EXPECT_EQ(OnDisk(path), converted);

    // A second run finds an 8-bit image.
    Command(IDM_REDUCE_EXACT);
    EXPECT_TRUE(OnlyMessage("すでに２５６です", MB_ICONINFORMATION));
    EXPECT_EQ(DocumentBytes(), converted);
}

// An image of too many colours is refused once. A file cut short, true-colour or indexed, is
// said to be so when it opens (what is there is shown), and the conversion refuses it as cut
// short before anything else. Each keeps its bytes.
TEST_F(ExactCommand, RefusedImagesAreToldAndChangeNothing) {
    const char* const manyColours = "２５６色以上使用しています";
    const char* const cutWhenShown = "ファイルが途中で切れているため表示できません";
    const char* const cutWhenConverted = "画像のデータが途中で切れているため変換できません";
    Bytes short24 = Picture24(8, 8, ThreeColours);
    short24.resize(short24.size() - 5);
    Bytes short8 = Picture8(8, 8, {0xC01020, 0x30D040}, [](int x, int) { return x % 2; });
    short8.resize(short8.size() - 5);
    const struct {
        Bytes image;
        std::vector<std::string> told;
    } cases[] = {
        {Picture24(300, 2, [](int x, int y) { return static_cast<std::uint32_t>(y * 300 + x); }),
         {manyColours}},
        {short24, {cutWhenShown, cutWhenConverted}},
        {short8, {cutWhenShown, cutWhenConverted}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told.back());
        Seams.messages.clear();
        OpenWithDialog(Write(c.image, "exact_refused.bmp"));
        Command(IDM_REDUCE_EXACT);
        EXPECT_EQ(Told(), c.told);
        for (const auto& shown : Seams.messages) {
            EXPECT_EQ(shown.type, static_cast<UINT>(shown.text == cutWhenShown ? MB_ICONWARNING
                                                                               : MB_ICONERROR));
            EXPECT_EQ(shown.owner, window_);
            EXPECT_EQ(shown.caption, "Tintwright");
        }
        EXPECT_EQ(DocumentBytes(), c.image);
    }
}

// 未使用の色を削除: the unused entries leave the table and a repeated colour merges into its
// first entry; the picture shows the same colours, the image is unsaved and リロード brings
// the file back. A true-colour image is told and kept.
TEST_F(ExactCommand, CompactDropsUnusedAndRepeatedEntriesKeepingEveryColour) {
    const std::vector<std::uint32_t> table = {0xC01020, 0x30D040, 0xC01020, 0x5060E0};
    const auto index = [](int x, int y) { return static_cast<std::uint8_t>((x / 3 + y / 2) % 3); };
    const Bytes original = Picture8(37, 23, table, index);
    OpenWithDialog(Write(original, "compact.bmp"));

    Command(IDM_COMPACT);
    EXPECT_TRUE(Seams.messages.empty());
    const Bytes compacted = DocumentBytes();
    EXPECT_EQ(bmp::ReadU32(&compacted[bmp::kBiClrUsed]), 2u);
    EXPECT_EQ(compacted.size(), original.size()); // the table keeps its places, black after 2
    EXPECT_TRUE(Kind.unsaved);
    EXPECT_EQ(Paint().Misses(37, 23, [&](int x, int y) { return table[index(x, y)]; }), 0);

    Seams.messageAnswer = IDNO; // the unsaved change is let go
    Command(IDM_RELOAD);
    EXPECT_EQ(DocumentBytes(), original);
    Seams.messages.clear();

    OpenWithDialog(Write(Picture24(8, 8, ThreeColours), "compact24.bmp"));
    const Bytes trueColour = DocumentBytes();
    Command(IDM_COMPACT);
    EXPECT_TRUE(OnlyMessage("未使用の色を削除できるのは8ビットの画像だけです", MB_ICONINFORMATION));
    EXPECT_EQ(DocumentBytes(), trueColour);
}

} // namespace
