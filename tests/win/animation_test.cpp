// Animated GIF files in the program: every frame opened and stepped through, converted on one
// palette with the still parts kept still, and written back with their times and loop count.
#include "tests/win/test_support.h"

#include <algorithm>

#include "core/bmp/layout.h"
#include "core/text/texts.h"
#include "win/app/settings.h"
#include "win/document/animation_codec.h"
#include "win/document/document.h"
#include "win/palette/user_palette.h"

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

// 誤差拡散（高画質） converts every frame onto one palette; what stays still keeps its indices,
// the frames can still be stepped through, and .gif writes them all back with their times and
// loop count: read again, each frame shows the colours of the indices written.
TEST_F(AnimationTest, HighQualityConvertsEveryFrameAndSavesTheAnimation) {
    OpenMainWindow(120, 80);
    QualityColours = 16;
    QuietRuns = 1;
    OpenGif(Walk(), "walk.gif");
    Seams.messageAnswer = IDNO; // no fixed palette
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    ASSERT_EQ(Frames.images.size(), 3u);
    for (const auto& frame : Frames.images) {
        ASSERT_EQ(frame[bmp::kBiBitCount], 8);
    }
    int moved = 0;
    for (int r = 0; r < kHeight; ++r) {
        for (int x = 0; x < kWidth; ++x) {
            const int y = kHeight - 1 - r;
            const bool block = y >= 8 && y < 12 && x >= 8 && x < 22; // where any frame changes
            moved += !block && testimg::IndexAt(Frames.images[0], x, r) !=
                                   testimg::IndexAt(Frames.images[1], x, r);
            moved += !block && testimg::IndexAt(Frames.images[1], x, r) !=
                                   testimg::IndexAt(Frames.images[2], x, r);
        }
    }
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(DocumentBytes(), Frames.images[0]);
    Key(VK_NEXT);
    EXPECT_EQ(DocumentBytes(), Frames.images[1]);
    // Converted again, the 8-bit frames are read as the colours they show.
    QualityColours = 8;
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    ASSERT_EQ(Frames.images.size(), 3u);
    for (const auto& frame : Frames.images) {
        EXPECT_EQ(bmp::ReadU32(&frame[bmp::kBfOffBits]), bmp::k8BitPixelData);
        EXPECT_EQ(bmp::ReadU32(&frame[bmp::kBfSize]), frame.size());
        EXPECT_LT(*std::max_element(frame.begin() + bmp::k8BitPixelData, frame.end()), 8);
    }

    const std::vector<Bytes> written(Frames.images.begin(), Frames.images.end());
    ResetSeams();
    Seams.dialogPath = Name("walk16.gif");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(Told().empty());
    ASSERT_TRUE(Open(Seams.dialogPath));
    ASSERT_EQ(Frames.images.size(), 3u);
    EXPECT_EQ(Frames.delays, (std::vector<int>{50, 120, 70}));
    EXPECT_EQ(Frames.loop, 3);
    for (std::size_t f = 0; f < 3; ++f) {
        int misses = 0;
        for (int r = 0; r < kHeight; ++r) {
            for (int x = 0; x < kWidth; ++x) {
                misses += PixelOf(Frames.images[f], x, r) != PixelOf(written[f], x, r);
            }
        }
        EXPECT_EQ(misses, 0) << "frame " << f + 1;
    }
}

// The graphic control blocks of a GIF, in order: their flags byte and transparent index.
std::vector<std::pair<BYTE, BYTE>> Controls(const Bytes& gif) {
    std::vector<std::pair<BYTE, BYTE>> controls;
    const auto table = [](BYTE packed) { return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0u; };
    const auto skip = [&gif](std::size_t at) { // past the sub-blocks that start at `at`
        while (at < gif.size() && gif[at] != 0) {
            at += 1u + gif[at];
        }
        return at + 1;
    };
    for (std::size_t at = 13 + table(gif[10]); at < gif.size() && gif[at] != 0x3B;) {
        if (gif[at] == 0x21) {
            if (gif[at + 1] == 0xF9) {
                controls.emplace_back(gif[at + 3], gif[at + 6]);
            }
            at = skip(at + 2);
        } else {
            at = skip(at + 10 + table(gif[at + 9]) + 1);
        }
    }
    return controls;
}

// With the key colour on, entry 0 is the transparent index of every frame written.
TEST_F(AnimationTest, TheKeyColourIsEveryFramesTransparentIndex) {
    OpenMainWindow(120, 80);
    QualityColours = 16;
    QualityKey = 1;
    QuietRuns = 1;
    FixedCount = 1;
    SavedPalette = NewPaletteTable(); // black first: the key colour
    OpenGif(Walk(), "walk.gif");
    Seams.messageAnswer = IDYES; // the fixed palette
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    ASSERT_EQ(Frames.images.size(), 3u);
    ResetSeams();
    Seams.dialogPath = Name("keyed.gif");
    Command(IDM_SAVEAS);
    const auto controls = Controls(OnDisk(Name("keyed.gif")));
    ASSERT_EQ(controls.size(), 3u);
    for (const auto& [packed, index] : controls) {
        EXPECT_EQ(packed & 1, 1);
        EXPECT_EQ(index, 0);
    }
}

// Frames past what the program holds (two 1 x 1 pieces on a screen of 65,535 x 65,535: more
// pixels of whole frames than 2^26) are refused before anything is allocated, a GIF cut short
// is not read; the image on screen stays.
TEST_F(AnimationTest, RefusesMoreFramesThanItHolds) {
    OpenMainWindow(120, 80);
    const std::string path = OpenGif(Walk(), "walk.gif");
    const Bytes shown = DocumentBytes();
    const Bytes piece = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0};
    Bytes huge = {'G',  'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF,
                  0x80, 0,   0,   255, 0,   0,   0,    0,    255};
    huge.insert(huge.end(), piece.begin(), piece.end());
    huge.insert(huge.end(), piece.begin(), piece.end());
    huge.push_back(0x3B);
    EXPECT_FALSE(Open(Write(huge, "huge.gif")));
    EXPECT_TRUE(OnlyMessage(kAnimationTooLargeText));
    EXPECT_EQ(DocumentBytes(), shown);
    EXPECT_EQ(Frames.images.size(), 3u);
    EXPECT_EQ(Title(), TitleFor(path) + " (1/3)");

    // Cut short in its last frame's pixels.
    ResetSeams();
    const Bytes whole = OnDisk(path);
    EXPECT_FALSE(Open(Write(Bytes(whole.begin(), whole.end() - 8), "cut.gif")));
    EXPECT_TRUE(OnlyMessage("ファイルが読めません"));
    EXPECT_EQ(DocumentBytes(), shown);
    EXPECT_EQ(Frames.images.size(), 3u);
}

// The basic 誤差拡散 takes the frame shown only, after saying so (キャンセル keeps the
// animation); a PNG holds the frame shown, said too; frames not yet converted are no GIF.
TEST_F(AnimationTest, CommandsOfOneFrameSaySo) {
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

    ResetSeams();
    Seams.messageAnswer = IDCANCEL;
    Command(IDM_REDUCE_DIFFUSE);
    EXPECT_TRUE(OnlyMessage(kFrameShownOnlyText, MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(Frames.images.size(), 3u);

    ResetSeams();
    QuietRuns = 1;
    Seams.answerFor = [](const std::string& text) {
        return text == kFrameShownOnlyText ? IDOK : IDNO;
    };
    const Bytes shown = DocumentBytes();
    Diffuse(IDM_REDUCE_DIFFUSE);
    EXPECT_TRUE(Frames.images.empty());
    EXPECT_NE(DocumentBytes(), shown);
    EXPECT_EQ(Title(), TitleFor(png) + " *");
}

// 補完無し takes every frame when all of them together hold at most 256 colours: one table.
TEST_F(AnimationTest, ExactReductionTakesEveryFrame) {
    OpenMainWindow(120, 80);
    OpenGif(Walk(), "walk.gif");
    Command(IDM_REDUCE_EXACT);
    EXPECT_TRUE(Told().empty());
    ASSERT_EQ(Frames.images.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
        ASSERT_EQ(Frames.images[f][bmp::kBiBitCount], 8);
        EXPECT_TRUE(std::equal(Frames.images[f].begin() + bmp::kHeadersSize,
                               Frames.images[f].begin() + bmp::k8BitPixelData,
                               Frames.images[0].begin() + bmp::kHeadersSize));
        int misses = 0;
        for (int r = 0; r < kHeight; ++r) {
            for (int x = 0; x < kWidth; ++x) {
                misses += PixelOf(Frames.images[f], x, r) != PixelOf(Frames.before[f], x, r);
            }
        }
        EXPECT_EQ(misses, 0) << "frame " << f + 1;
    }
}

} // namespace
