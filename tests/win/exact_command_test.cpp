// Exact reduction driven through the main window's command 40005.
#include <gtest/gtest.h>

#include "win/app/settings.h"
#include "win/document/file_commands.h"
#include "win/document/file_io.h"
#include "win/document/document.h"
#include "win/document/main_window.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t ThreeColours(int x, int y) {
    static const std::uint32_t colours[3] = {0xC01020, 0x30D040, 0x5060E0};
    return colours[(x / 3 + y / 2) % 3];
}
std::uint32_t ManyColours(int x, int y) {
    return static_cast<std::uint32_t>(y * 300 + x);
}

class ExactCommand : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(300, 200);
    }
    std::string Save(const Bytes& image, const char* name) {
        const std::string path = Name(name);
        EXPECT_TRUE(WriteBytes(path, image));
        return path;
    }
    void Open(const std::string& path) {
        Seams.dialogPath = path;
        Command(IDM_OPEN);
    }
    void Reduce() { Command(IDM_REDUCE_EXACT); }
};

TEST_F(ExactCommand, ConvertsRepaintsWithTheNewPaletteAndSavesTheResult) {
    const std::string path = Save(Picture24(37, 23, ThreeColours), "exact_three.bmp");
    Open(path);
    // A palette left from an earlier image is dropped by the conversion.
    LOGPALETTE stale = {0x300, 1, {{1, 2, 3, 0}}};
    ScreenPalette.object = CreatePalette(&stale);
    ScreenPalette.built = TRUE;

    Reduce();
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_FALSE(ScreenPalette.built);
    const Bytes converted = DocumentBytes();
    ASSERT_EQ(ImageBytes, 1078u + 40 * 23);
    ASSERT_EQ(converted.size(), ImageBytes);
    EXPECT_EQ(converted[28], 8);
    EXPECT_EQ(GlobalSize(ImageBuffer), ImageBytes);

    RECT update;
    EXPECT_TRUE(GetUpdateRect(window_, &update, FALSE)); // a repaint is pending
    UpdateWindow(window_);
    PumpPending();
    EXPECT_TRUE(ScreenPalette.built);
    EXPECT_EQ(GetPaletteEntries(ScreenPalette.object, 0, 0, nullptr), 256u);
    int width = 0, height = 0;
    const auto pixels = CaptureClient(window_, width, height);
    int wrong = 0;
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 37; ++x) {
            wrong += pixels[y * width + x] != ThreeColours(x, y);
        }
    }
    EXPECT_EQ(wrong, 0);

    SendMessageA(window_, WM_COMMAND, IDM_SAVE, 0);
    Bytes saved;
    ASSERT_TRUE(ReadBytes(path, saved));
    EXPECT_EQ(saved, converted);

    // A second run finds an 8-bit image.
    Reduce();
    EXPECT_TRUE(OnlyMessage("すでに２５６です", MB_ICONINFORMATION));
    EXPECT_EQ(DocumentBytes(), converted);
}

TEST_F(ExactCommand, TooManyColoursIsRefusedOnceAndChangesNothing) {
    const Bytes image = Picture24(300, 2, ManyColours);
    Open(Save(image, "exact_many.bmp"));
    Reduce();
    EXPECT_TRUE(OnlyMessage("２５６色以上使用しています", MB_ICONERROR));
    EXPECT_EQ(DocumentBytes(), image);
    EXPECT_EQ(ImageBytes, image.size());
}

TEST_F(ExactCommand, NothingHappensWithoutAnImage) {
    Reduce();
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(ImageBuffer, nullptr);
}

// A file cut short, true-colour or indexed, is said to be so when it opens (what is there is
// shown), and the conversion refuses it as cut short before anything else.
TEST_F(ExactCommand, FilesCutShortAreToldSoWhenOpenedAndWhenConverted) {
    for (Bytes image : {Picture24(8, 8, ThreeColours),
                        Picture8(8, 8, {0xC01020, 0x30D040}, [](int x, int) { return x % 2; })}) {
        image.resize(image.size() - 5);
        Seams.messages.clear();
        Open(Save(image, "exact_short.bmp"));
        Reduce();
        ASSERT_EQ(Seams.messages.size(), 2u);
        EXPECT_EQ(Seams.messages[0].text, "ファイルが途中で切れているため表示できません");
        EXPECT_EQ(Seams.messages[0].type, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(Seams.messages[1].text, "画像のデータが途中で切れているため変換できません");
        EXPECT_EQ(Seams.messages[1].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(DocumentBytes(), image);
    }
}

} // namespace
