// Animated GIF files in the program: every frame opened and stepped through.
#include "tests/win/test_support.h"

#include "core/bmp/layout.h"
#include "core/text/texts.h"
#include "win/document/animation_codec.h"
#include "win/document/document.h"

namespace {

constexpr int kWidth = 40, kHeight = 24;

// The colour (0x00RRGGBB) of pixel x of stored row r of a plain 8- or 24-bit file image.
std::uint32_t PixelOf(const Bytes& image, int x, int r) {
    return image[bmp::kBiBitCount] == 8 ? testimg::ColourAt(image, x, r)
                                        : testimg::ColourAt24(image, x, r);
}

// Three frames of many colours: a pattern that stays, and a small block that moves over it.
IndexedAnimation Walk() {
    IndexedAnimation walk;
    walk.width = kWidth;
    walk.height = kHeight;
    for (int e = 0; e < 256; ++e) {
        walk.table[3 * e] = static_cast<BYTE>(e);
        walk.table[3 * e + 1] = static_cast<BYTE>(255 - e);
        walk.table[3 * e + 2] = static_cast<BYTE>(e * 7);
    }
    for (int f = 0; f < 3; ++f) {
        std::vector<BYTE> frame(kWidth * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool block = f > 0 && x >= 8 * f && x < 8 * f + 6 && y >= 8 && y < 12;
                frame[y * kWidth + x] = block ? 0 : static_cast<BYTE>((x * 5 + y * 3) & 255);
            }
        }
        walk.frames.push_back(frame);
    }
    walk.delays = {50, 120, 70};
    walk.loop = 3;
    return walk;
}

class AnimationTest : public ProgramTest {
  protected:
    // Writes the animation as a GIF and opens it.
    std::string OpenGif(const IndexedAnimation& animation, const std::string& name) {
        std::vector<BYTE> gif;
        EXPECT_TRUE(EncodeAnimation(animation, gif));
        const std::string path = Write(Bytes(gif.begin(), gif.end()), name);
        EXPECT_TRUE(Open(path));
        return path;
    }
    void Key(WPARAM key) { SendMessageA(window_, WM_KEYDOWN, key, 0); }
    void Char(char c) { SendMessageA(window_, WM_CHAR, static_cast<WPARAM>(c), 0); }
};

// Every frame is read whole (the pieces after the first are only the block that moved), frame
// 1 is shown and named in the title, and Page Up / Page Down, [ and ] step round the frames.
TEST_F(AnimationTest, OpensEveryFrameAndStepsThroughThem) {
    OpenMainWindow(120, 80);
    const IndexedAnimation walk = Walk();
    const std::string path = OpenGif(walk, "walk.gif");
    ASSERT_EQ(Frames.images.size(), 3u);
    EXPECT_EQ(Frames.delays, walk.delays);
    EXPECT_EQ(Frames.loop, 3);
    EXPECT_EQ(Title(), TitleFor(path) + " (1/3)");
    const auto shows = [&walk](const Bytes& image, std::size_t f) {
        int misses = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const BYTE e = walk.frames[f][y * kWidth + x];
                const std::uint32_t colour = std::uint32_t{walk.table[3 * e]} << 16 |
                                             std::uint32_t{walk.table[3 * e + 1]} << 8 |
                                             walk.table[3 * e + 2];
                misses += PixelOf(image, x, kHeight - 1 - y) != colour;
            }
        }
        return misses;
    };
    EXPECT_EQ(shows(DocumentBytes(), 0), 0);
    Key(VK_NEXT);
    EXPECT_EQ(Title(), TitleFor(path) + " (2/3)");
    EXPECT_EQ(shows(DocumentBytes(), 1), 0);
    Char(']');
    EXPECT_EQ(Title(), TitleFor(path) + " (3/3)");
    EXPECT_EQ(shows(DocumentBytes(), 2), 0);
    Key(VK_NEXT); // round to the first
    EXPECT_EQ(Title(), TitleFor(path) + " (1/3)");
    Char('[');
    Key(VK_PRIOR);
    EXPECT_EQ(Title(), TitleFor(path) + " (2/3)");
    EXPECT_EQ(shows(DocumentBytes(), 1), 0);
    EXPECT_TRUE(Told().empty());
}

// A PNG holds the frame shown, and says so; frames not yet converted are no GIF.
TEST_F(AnimationTest, SavingSaysWhatItCannotWrite) {
    OpenMainWindow(120, 80);
    OpenGif(Walk(), "walk.gif");
    Seams.dialogPath = Name("frames.gif");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage(kGifNeedsIndexedText));
    EXPECT_FALSE(Exists(Seams.dialogPath));

    ResetSeams();
    Key(VK_NEXT);
    const std::string png = Name("frame2.png");
    Seams.dialogPath = png;
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage(kFrameShownSavedText, MB_ICONINFORMATION));
    EXPECT_TRUE(Exists(png));
}

} // namespace
