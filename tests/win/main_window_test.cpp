// The main window: painting read back as pixels, the display palette, scroll ranges and steps.
#include <gtest/gtest.h>

#include <algorithm>

#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "win/document/file_commands.h"
#include "win/document/file_io.h"
#include "win/document/document.h"
#include "win/document/main_window.h"
#include "win/document/view.h"
#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t Rainbow(int x, int y) {
    return static_cast<std::uint32_t>(((x * 37) & 0xFF) << 16 | ((y * 53) & 0xFF) << 8 |
                                      ((x * 11 + y * 7) & 0xFF));
}

// How many of a sample of the window's pixels do not show Rainbow scrolled to (left, top).
int RainbowMisses(const std::vector<std::uint32_t>& pixels, int width, int height, int left,
                  int top) {
    int wrong = 0;
    for (int y = 0; y < height; y += 7) {
        for (int x = 0; x < width; x += 5) {
            wrong += pixels[y * width + x] != Rainbow(x + left, y + top);
        }
    }
    return wrong;
}

std::uint8_t Diagonal(int x, int y) {
    return static_cast<std::uint8_t>((x + 3 * y) & 0xFF);
}

std::vector<std::uint32_t> DistinctPalette() {
    std::vector<std::uint32_t> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i] = static_cast<std::uint32_t>(i << 16 | ((255 - i) << 8) | ((i * 7) & 0xFF));
    }
    return palette;
}

class MainWindowTest : public ProgramTest {
  protected:
    std::vector<std::uint32_t> Paint(int& width, int& height) {
        UpdateWindow(window_);
        PumpPending();
        return CaptureClient(window_, width, height);
    }
    int Position(int bar) { return GetScrollPos(window_, bar); }
    // The last position a bar reaches: its range less its page (the thumb's size).
    int Maximum(int bar) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE;
        GetScrollInfo(window_, bar, &info);
        return std::max(info.nMin, info.nMax - std::max(static_cast<int>(info.nPage) - 1, 0));
    }
    // A 1000 x 800 image in a client area of 600 x 500, painted once.
    void ShowLargeImage(int& width, int& height) {
        OpenMainWindow(600, 500);
        Load(Picture24(1000, 800, Rainbow));
        Paint(width, height);
    }
    void Scroll(UINT message, int code, int position = 0) {
        SendMessageA(window_, message, MAKEWPARAM(code, position), 0);
    }
};

TEST_F(MainWindowTest, BeforeAnyLoadOnlyTheBackgroundIsPaintedAndNoRangeIsSet) {
    OpenMainWindow(300, 200);
    int width = 0, height = 0;
    const auto pixels = Paint(width, height);
    const std::uint32_t rgb = BackgroundPixel();
    EXPECT_EQ(pixels[0], rgb);
    EXPECT_EQ(pixels[pixels.size() / 2], rgb);
    // The bars keep the range they were created with.
    int minimum = -1, maximum = -1;
    GetScrollRange(window_, SB_VERT, &minimum, &maximum);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 100);
}

TEST_F(MainWindowTest, A24BitImageIsDrawnPixelForPixelWithoutAPalette) {
    OpenMainWindow(300, 200);
    Load(Picture24(61, 47, Rainbow));
    int width = 0, height = 0;
    const auto pixels = Paint(width, height);
    ASSERT_GE(width, 61);
    ASSERT_GE(height, 47);
    int wrong = 0;
    for (int y = 0; y < 47; ++y) {
        for (int x = 0; x < 61; ++x) {
            wrong += pixels[y * width + x] != Rainbow(x, y);
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(ScreenPalette.built);
    // Beside and below the image: the window background.
    const std::uint32_t background = BackgroundPixel();
    EXPECT_EQ(pixels[10 * width + 61], background);
    EXPECT_EQ(pixels[47 * width + 10], background);
}

TEST_F(MainWindowTest, An8BitImageIsDrawnThroughItsColourTableAndThePaletteIsBuiltOnce) {
    OpenMainWindow(300, 200);
    const auto palette = DistinctPalette();
    Load(Picture8(45, 30, palette, Diagonal));
    EXPECT_FALSE(ScreenPalette.built);
    int width = 0, height = 0;
    auto pixels = Paint(width, height);
    int wrong = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 45; ++x) {
            wrong += pixels[y * width + x] != palette[Diagonal(x, y)];
        }
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_TRUE(ScreenPalette.built);
    const HPALETTE first = ScreenPalette.object;
    EXPECT_EQ(GetPaletteEntries(first, 0, 0, nullptr), 256u);

    // A second paint uses the same palette object.
    RepaintWindow(window_);
    Paint(width, height);
    EXPECT_EQ(ScreenPalette.object, first);

    // A load drops it; the next paint builds a new one.
    SendMessageA(window_, WM_COMMAND, IDM_RELOAD, 0);
    EXPECT_FALSE(ScreenPalette.built);
    pixels = Paint(width, height);
    EXPECT_TRUE(ScreenPalette.built);
    EXPECT_EQ(pixels[0], palette[Diagonal(0, 0)]);
}

TEST_F(MainWindowTest, AShortFileIsDrawnAsFarAsItsCompleteRowsReach) {
    OpenMainWindow(300, 200);
    Bytes image = Picture24(20, 10, Rainbow); // rows of 60 bytes, bottom row first
    image.resize(54 + 60 * 7 + 30);           // seven whole rows and half of the eighth
    Load(image);
    int width = 0, height = 0;
    const auto pixels = Paint(width, height);
    const std::uint32_t background = BackgroundPixel();
    int wrong = 0;
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            const std::uint32_t expected = y < 3 ? background : Rainbow(x, y);
            wrong += pixels[y * width + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(MainWindowTest, UnsafeHeadersAreNotDrawnButStillSetTheRanges) {
    OpenMainWindow(300, 200);
    Bytes image = Picture8(400, 20, DistinctPalette(), Diagonal);
    image.resize(700); // the colour table is cut off
    Load(image);
    EXPECT_TRUE(OnlyMessage("ファイルが途中で切れているため表示できません"));
    int width = 0, height = 0;
    const auto pixels = Paint(width, height);
    const std::uint32_t background = BackgroundPixel();
    EXPECT_EQ(pixels[0], background);
    EXPECT_FALSE(ScreenPalette.built);
    EXPECT_EQ(Maximum(SB_HORZ), 400 - width);

    // A file too short for its headers is loaded and paints nothing.
    Load(Bytes{'B', 'M', 1, 2, 3});
    Paint(width, height);
    EXPECT_EQ(ImageBytes, 5u);
}

// An 8-bit run-length encoded image of Diagonal indices: every pixel a run of one.
Bytes MakeRle8(int width, int height) {
    Bytes image = Picture8(width, height, DistinctPalette(), Diagonal);
    image.resize(1078);
    bmp::WriteU32(&image[bmp::kBiCompression], 1);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            image.push_back(1);
            image.push_back(Diagonal(x, y));
        }
        image.insert(image.end(), {0, 0});
    }
    image.insert(image.end(), {0, 1});
    return image;
}

TEST_F(MainWindowTest, RunLengthImagesAreUnpackedOncePerLoadWithinAMemoryCap) {
    OpenMainWindow(300, 200);
    const auto palette = DistinctPalette();
    Load(MakeRle8(40, 30));
    int width = 0, height = 0;
    Paint(width, height);
    // Runs rewritten in the document are not seen until the next load or conversion:
    // painting kept what it unpacked.
    auto* runs = static_cast<BYTE*>(GlobalLock(ImageBuffer));
    for (DWORD i = 1079; i < ImageBytes - 2; i += 2) {
        runs[i] = 0;
    }
    GlobalUnlock(ImageBuffer);
    RepaintWindow(window_);
    auto pixels = Paint(width, height);
    EXPECT_EQ(pixels[5 * width + 7], palette[Diagonal(7, 5)]);
    InvalidateScreenCache();
    RepaintWindow(window_);
    pixels = Paint(width, height);
    EXPECT_EQ(pixels[5 * width + 7], palette[0]);

    // Unpacking that runs out of memory is told once; the window shows its background.
    Load(MakeRle8(1024, 1024), "rle_big.bmp");
    FailNextAllocationOfAtLeast(1024 * 1024);
    pixels = Paint(width, height);
    ASSERT_EQ(Seams.messages.size(), 1u);
    EXPECT_EQ(Seams.messages[0].text, "メモリが足りません");
    EXPECT_EQ(pixels[5 * width + 7], BackgroundPixel());
    RepaintWindow(window_);
    Paint(width, height);
    EXPECT_EQ(Seams.messages.size(), 1u);

    // 32768 x 32768 from 4 MiB would unpack into 1 GiB: not drawn, but the ranges are set.
    Bytes huge = MakeRle8(8, 1);
    bmp::WriteU32(&huge[bmp::kBiWidth], 32768);
    bmp::WriteU32(&huge[bmp::kBiHeight], 32768);
    huge.resize(1078 + (4 << 20), 0);
    Load(huge, "rle_huge.bmp");
    pixels = Paint(width, height);
    EXPECT_EQ(pixels[5 * width + 7], BackgroundPixel());
    EXPECT_EQ(Maximum(SB_VERT), 32768 - height);
    ASSERT_EQ(Seams.messages.size(), 2u);
    EXPECT_EQ(Seams.messages[1].text, "画像が大きすぎるため表示できません");
}

TEST_F(MainWindowTest, RangesFollowTheImageAndTheClientArea) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    ASSERT_EQ(width, 600);
    ASSERT_EQ(height, 500);
    EXPECT_EQ(Maximum(SB_HORZ), 400);
    EXPECT_EQ(Maximum(SB_VERT), 300);

    // A smaller image gets 0 to 0, which hides the bars.
    Load(Picture24(100, 80, Rainbow), "small.bmp");
    Paint(width, height);
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
}

TEST_F(MainWindowTest, LineAndPageStepsStopAtTheEnds) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    const int maximum = Maximum(SB_VERT);
    ASSERT_EQ(maximum, 300);

    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(Position(SB_VERT), 1);
    Scroll(WM_VSCROLL, SB_LINEUP);
    Scroll(WM_VSCROLL, SB_LINEUP);
    EXPECT_EQ(Position(SB_VERT), 0);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(Position(SB_VERT), 11);
    SetScrollPos(window_, SB_VERT, 5, FALSE);
    Scroll(WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(Position(SB_VERT), 0);
    SetScrollPos(window_, SB_VERT, maximum - 3, FALSE);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(Position(SB_VERT), maximum);
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(Position(SB_VERT), maximum);
    Scroll(WM_VSCROLL, SB_TOP);
    EXPECT_EQ(Position(SB_VERT), 0);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(Position(SB_VERT), maximum);
    Scroll(WM_VSCROLL, SB_THUMBTRACK, 123);
    EXPECT_EQ(Position(SB_VERT), 123);
    Scroll(WM_VSCROLL, SB_THUMBPOSITION, 77);
    EXPECT_EQ(Position(SB_VERT), 77);
    Scroll(WM_VSCROLL, 99); // an unknown code goes to the end
    EXPECT_EQ(Position(SB_VERT), maximum);

    // The horizontal bar works alike.
    Scroll(WM_HSCROLL, SB_PAGEDOWN);
    Scroll(WM_HSCROLL, SB_LINEDOWN);
    EXPECT_EQ(Position(SB_HORZ), 12);
    EXPECT_EQ(Maximum(SB_HORZ), 400);
}

TEST_F(MainWindowTest, EndOfScrollingChangesNothingAndRepaintsNothing) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    Paint(width, height);
    RECT update;
    ASSERT_FALSE(GetUpdateRect(window_, &update, FALSE));
    Scroll(WM_VSCROLL, SB_ENDSCROLL);
    EXPECT_EQ(Position(SB_VERT), 1);
    EXPECT_FALSE(GetUpdateRect(window_, &update, FALSE));
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_TRUE(GetUpdateRect(window_, &update, FALSE));
}

TEST_F(MainWindowTest, ScrolledPaintShowsTheImageAtTheBarPositions) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    Scroll(WM_HSCROLL, SB_THUMBPOSITION, 250);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    const auto pixels = Paint(width, height);
    EXPECT_EQ(RainbowMisses(pixels, width, height, 250, 11), 0);

    // A second image keeps the positions, limited by its own ranges once painted.
    Load(Picture24(700, 520, Rainbow), "second.bmp");
    Paint(width, height);
    EXPECT_EQ(Maximum(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_VERT), 11);
}

TEST_F(MainWindowTest, GrowingTheWindowKeepsTheImageInPlaceAtTheNewRanges) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    Scroll(WM_HSCROLL, SB_BOTTOM);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    Paint(width, height);
    // Maximised, as it were: 900 x 700 pixels of client area.
    RECT frame;
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left + 300,
                 frame.bottom - frame.top + 200, SWP_NOMOVE | SWP_NOZORDER);
    const auto pixels = Paint(width, height);
    ASSERT_EQ(width, 900);
    ASSERT_EQ(height, 700);
    EXPECT_EQ(Position(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_VERT), 100);
    // The image's bottom-right corner in the window's, nothing of the background.
    EXPECT_EQ(RainbowMisses(pixels, width, height, 100, 100), 0);
}

TEST_F(MainWindowTest, TheWheelAndTheKeysScrollWithinTheRanges) {
    OpenMainWindow(600, 500);
    Load(Picture24(1000, 3000, Rainbow));
    int width = 0, height = 0;
    Paint(width, height);
    UINT lines = 0;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const int notch = static_cast<int>(lines) * kWheelLine;
    const auto send = [this](UINT message, WPARAM wParam) {
        SendMessageA(window_, message, wParam, 0);
    };
    send(WM_MOUSEWHEEL,
         MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA))); // two notches towards the user
    EXPECT_EQ(Position(SB_VERT), 2 * notch);
    send(WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, static_cast<WORD>(-WHEEL_DELTA)));
    EXPECT_EQ(Position(SB_HORZ), notch);
    send(WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA)); // tilted right
    EXPECT_EQ(Position(SB_HORZ), 2 * notch);
    send(WM_KEYDOWN, VK_DOWN);
    send(WM_KEYDOWN, VK_RIGHT);
    const auto pixels = Paint(width, height);
    EXPECT_EQ(pixels[0], Rainbow(2 * notch + kWheelLine, 2 * notch + kWheelLine));
    send(WM_KEYDOWN, VK_NEXT);
    EXPECT_EQ(Position(SB_VERT), 2 * notch + kWheelLine + height);
    send(WM_KEYDOWN, VK_END);
    EXPECT_EQ(Position(SB_VERT), 3000 - height);
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA))); // at the end already
    EXPECT_EQ(Position(SB_VERT), 3000 - height);
    send(WM_KEYDOWN, VK_PRIOR);
    EXPECT_EQ(Position(SB_VERT), 3000 - 2 * height);
    send(WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(Position(SB_VERT), 0);
    send(WM_KEYDOWN, VK_LEFT);
    send(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(Position(SB_HORZ), 2 * notch - kWheelLine);
}

// How many of a sample of the window's pixels do not show Rainbow at `zoom` times its size
// (an integer) scrolled to (left, top).
int ZoomedRainbowMisses(const std::vector<std::uint32_t>& pixels, int width, int height, int left,
                        int top, int zoom) {
    int wrong = 0;
    for (int y = 0; y < height; y += 7) {
        for (int x = 0; x < width; x += 5) {
            wrong += pixels[y * width + x] != Rainbow((x + left) / zoom, (y + top) / zoom);
        }
    }
    return wrong;
}

// The bars' thumbs are the client area's share of the image, at every zoom; zooming keeps the
// image point at the centre of the window; above 100 % every image pixel is a square of
// window pixels; back at 100 % the painting is today's.
TEST_F(MainWindowTest, ZoomScalesThePixelsTheRangesAndTheThumbs) {
    int width = 0, height = 0;
    ShowLargeImage(width, height);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_PAGE;
    GetScrollInfo(window_, SB_HORZ, &info);
    EXPECT_EQ(info.nPage, 600u);

    Command(IDM_ZOOM_200);
    auto pixels = Paint(width, height);
    EXPECT_EQ(Maximum(SB_HORZ), 2000 - 600);
    EXPECT_EQ(Maximum(SB_VERT), 1600 - 500);
    EXPECT_EQ(Position(SB_HORZ), 300); // the centre, 300 x 250, is now at 600 x 500
    EXPECT_EQ(Position(SB_VERT), 250);
    EXPECT_EQ(ZoomedRainbowMisses(pixels, width, height, 300, 250, 2), 0);
    EXPECT_TRUE(GetMenuState(GetMenu(window_), IDM_ZOOM_200, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(GetMenu(window_), IDM_ZOOM_100, MF_BYCOMMAND) & MF_CHECKED);
    // The keys scroll window pixels, to the end of the zoomed image.
    SendMessageA(window_, WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(Position(SB_VERT), 1600 - 500);

    // Ctrl+wheel away from the user zooms in; towards the user, out.
    SendMessageA(window_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), 0);
    EXPECT_EQ(View.zoom, 400);
    EXPECT_EQ(Maximum(SB_HORZ), 4000 - 600);
    SendMessageA(window_, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-WHEEL_DELTA)),
                 0);
    Command(IDM_ZOOM_OUT);
    EXPECT_EQ(View.zoom, 100);
    SendMessageA(window_, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 250), 0);
    SendMessageA(window_, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 11), 0);
    pixels = Paint(width, height);
    EXPECT_EQ(RainbowMisses(pixels, width, height, 250, 11), 0);

    // At 50 % the image is 500 x 400: no bar is needed, the rest is background.
    Command(IDM_ZOOM_50);
    pixels = Paint(width, height);
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
    EXPECT_NE(pixels[10 * width + 498], BackgroundPixel());
    EXPECT_EQ(pixels[10 * width + 501], BackgroundPixel());
    EXPECT_EQ(pixels[401 * width + 10], BackgroundPixel());

    // Fitted to the window, the whole image shows, and follows the window's size.
    Command(IDM_ZOOM_FIT);
    Paint(width, height);
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
    EXPECT_GE(View.zoom, 60);
    EXPECT_LE(1000 * View.zoom / 100, width);
    EXPECT_LE(800 * View.zoom / 100, height);
    const int fitted = View.zoom;
    // Another image is fitted as it is painted.
    Load(Picture24(200, 100, Rainbow), "small.bmp");
    Paint(width, height);
    EXPECT_EQ(View.zoom, std::min(400, width / 2));
    Load(Picture24(1000, 800, Rainbow), "large.bmp");
    Paint(width, height);
    EXPECT_EQ(View.zoom, fitted);
    RECT frame;
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left + 400,
                 frame.bottom - frame.top + 400, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_GT(View.zoom, fitted);
}

// A short file at 200 %: only its complete rows are stretched, the missing ones are
// background; an 8-bit image doubles through its colour table.
TEST_F(MainWindowTest, ZoomedShortAndPalettisedImagesShowTheirOwnPixels) {
    OpenMainWindow(300, 200);
    Bytes image = Picture24(20, 10, Rainbow);
    image.resize(54 + 60 * 7 + 30); // the top three rows are missing
    Load(image);
    Command(IDM_ZOOM_200);
    int width = 0, height = 0;
    auto pixels = Paint(width, height);
    int wrong = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const std::uint32_t expected = y < 6 ? BackgroundPixel() : Rainbow(x / 2, y / 2);
            wrong += pixels[y * width + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);

    const auto palette = DistinctPalette();
    Load(Picture8(45, 30, palette, Diagonal), "eight.bmp");
    pixels = Paint(width, height);
    wrong = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 90; ++x) {
            wrong += pixels[y * width + x] != palette[Diagonal(x / 2, y / 2)];
        }
    }
    EXPECT_EQ(wrong, 0);
}

// While Space is held the image as it was opened (or last saved) shows; without a copy of it
// the key says so once.
TEST_F(MainWindowTest, SpaceShowsTheImageAsItWasOpened) {
    OpenMainWindow(300, 200);
    Load(Picture24(61, 47, Rainbow));
    // A conversion, as it were: the bottom row turns black.
    auto* document = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    std::fill_n(document + 54, 61 * 3, std::uint8_t{0});
    GlobalUnlock(ImageBuffer);
    InvalidateScreenCache();
    RepaintWindow(window_);
    int width = 0, height = 0;
    EXPECT_EQ(Paint(width, height)[46 * width + 3], 0u);
    SendMessageA(window_, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Paint(width, height)[46 * width + 3], Rainbow(3, 46));
    SendMessageA(window_, WM_KEYDOWN, VK_SPACE, 1 << 30); // the key repeats
    SendMessageA(window_, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Paint(width, height)[46 * width + 3], 0u);

    // Saved, the converted image is the one to compare with; here memory holds no copy.
    Files.allocate = fake::NoMemory;
    Seams.dialogPath = Name("saved.bmp");
    Command(IDM_SAVEAS);
    ASSERT_TRUE(Seams.messages.empty());
    for (int press = 0; press < 2; ++press) {
        SendMessageA(window_, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageA(window_, WM_KEYUP, VK_SPACE, 0);
    }
    EXPECT_TRUE(
        OnlyMessage("元の画像を残すメモリが足りないため、比較できません", MB_ICONINFORMATION));
    EXPECT_EQ(Paint(width, height)[46 * width + 3], 0u);
}

TEST_F(MainWindowTest, CloseCommandDestroysTheWindow) {
    OpenMainWindow(200, 100);
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDM_CLOSE, 1), 0);
    EXPECT_FALSE(IsWindow(window_));
    window_ = nullptr;
}

} // namespace
