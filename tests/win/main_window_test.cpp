// The main window: painting read back as pixels, the display palette, scroll ranges and steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <windows.h>

#include <commctrl.h>

#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/image/rgba.h"
#include "win/document/document.h"
#include "win/document/main_window.h"
#include "win/document/status_bar.h"
#include "win/document/view.h"
#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/settings.h"
#include "core/text/texts.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t Rainbow(int x, int y) {
    return static_cast<std::uint32_t>(((x * 37) & 0xFF) << 16 | ((y * 53) & 0xFF) << 8 |
                                      ((x * 11 + y * 7) & 0xFF));
}

// How many of a sample of the window's pixels do not show Rainbow at `zoom` times its size
// (an integer) scrolled to (left, top).
int RainbowMisses(const Capture& shot, int left, int top, int zoom = 1) {
    return shot.Misses(
        shot.width, shot.height,
        [&](int x, int y) { return Rainbow((x + left) / zoom, (y + top) / zoom); }, 5);
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
    void ShowLargeImage() {
        OpenMainWindow(600, 500);
        Load(Picture24(1000, 800, Rainbow));
        Paint();
    }
    void Scroll(UINT message, int code, int position = 0) {
        SendMessageA(window_, message, MAKEWPARAM(code, position), 0);
    }
};

TEST_F(MainWindowTest, BeforeAnyLoadOnlyTheBackgroundIsPaintedAndNoRangeIsSet) {
    OpenMainWindow(300, 200);
    const Capture shot = Paint();
    EXPECT_EQ(shot.At(0, 0), BackgroundPixel());
    EXPECT_EQ(shot.At(150, 100), BackgroundPixel());
    // The bars keep the range they were created with.
    int minimum = -1, maximum = -1;
    GetScrollRange(window_, SB_VERT, &minimum, &maximum);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 100);
}

TEST_F(MainWindowTest, A24BitImageIsDrawnPixelForPixelWithoutAPalette) {
    OpenMainWindow(300, 200);
    Load(Picture24(61, 47, Rainbow));
    const Capture shot = Paint();
    EXPECT_EQ(shot.Misses(61, 47, Rainbow), 0);
    EXPECT_FALSE(ScreenPalette.built);
    // Beside and below the image: the window background.
    EXPECT_EQ(shot.At(61, 10), BackgroundPixel());
    EXPECT_EQ(shot.At(10, 47), BackgroundPixel());
}

TEST_F(MainWindowTest, An8BitImageIsDrawnThroughItsColourTableAndThePaletteIsBuiltOnce) {
    OpenMainWindow(300, 200);
    const auto palette = DistinctPalette();
    const auto colour = [&](int x, int y) { return palette[Diagonal(x, y)]; };
    Load(Picture8(45, 30, palette, Diagonal));
    EXPECT_FALSE(ScreenPalette.built);
    EXPECT_EQ(Paint().Misses(45, 30, colour), 0);
    ASSERT_TRUE(ScreenPalette.built);
    const HPALETTE first = ScreenPalette.object;
    EXPECT_EQ(GetPaletteEntries(first, 0, 0, nullptr), 256u);

    // A second paint uses the same palette object.
    RepaintWindow(window_);
    Paint();
    EXPECT_EQ(ScreenPalette.object, first);

    // A load drops it; the next paint builds a new one.
    Command(IDM_RELOAD);
    EXPECT_FALSE(ScreenPalette.built);
    EXPECT_EQ(Paint().At(0, 0), colour(0, 0));
    EXPECT_TRUE(ScreenPalette.built);
}

// An image with alpha is drawn over a checkerboard of grey squares of 8 window pixels, at
// every zoom: its transparent pixels show the squares, its opaque ones their colour, its
// half-transparent ones both.
TEST_F(MainWindowTest, TransparencyShowsACheckerboardAtEveryZoom) {
    OpenMainWindow(300, 200);
    image::RgbaImage rgba{32, 16, 8, {}};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const std::array<std::uint8_t, 4> pixel =
                x < 16   ? std::array<std::uint8_t, 4>{255, 0, 0, 0}
                : x < 24 ? std::array<std::uint8_t, 4>{0, 255, 0, 128}
                         : std::array<std::uint8_t, 4>{0, 0, 255, 255};
            rgba.samples.insert(rgba.samples.end(), pixel.begin(), pixel.end());
        }
    }
    image::AlphaRule kept;
    kept.kept = true;
    Bytes image(static_cast<std::size_t>(*image::PlainSize(32, 16, kept)));
    image::WritePlain24(rgba, kept, image.data());
    Load(image, "soft.bmp");
    for (const int zoom : {1, 2}) {
        Command(zoom == 1 ? IDM_ZOOM_100 : IDM_ZOOM_200);
        const Capture shot = Paint();
        const auto square = [](int x, int y) -> std::uint32_t {
            return (x / 8 + y / 8) % 2 == 0 ? 0xCCCCCC : 0x999999;
        };
        EXPECT_EQ(shot.Misses(40 * zoom, 20 * zoom,
                              [&](int x, int y) -> std::uint32_t {
                                  const int ix = x / zoom, iy = y / zoom;
                                  return ix >= 32 || iy >= 16 ? BackgroundPixel()
                                         : ix < 16            ? square(x, y)
                                         : ix < 24            ? shot.At(x, y) // below
                                                              : 0x0000FF;
                              }),
                  0)
            << zoom;
        for (const int y : {0, 8 * zoom}) { // half green over a light and a dark square
            const int x = 16 * zoom;
            const int under = static_cast<int>(square(x, y) & 0xFF);
            const std::uint32_t got = shot.At(x, y);
            EXPECT_NEAR(static_cast<int>(got >> 16 & 0xFF), under * 127 / 255, 2) << zoom;
            EXPECT_NEAR(static_cast<int>(got >> 8 & 0xFF), 128 + under * 127 / 255, 2) << zoom;
        }
    }
}

// A short file is drawn as far as its complete rows reach, at 100 % and at 200 %, where the
// missing rows are background too; an 8-bit image doubles through its colour table.
TEST_F(MainWindowTest, ShortAndPalettisedImagesShowTheirOwnPixelsAtEveryZoom) {
    OpenMainWindow(300, 200);
    Bytes image = Picture24(20, 10, Rainbow);      // rows of 60 bytes, bottom row first
    image.resize(bmp::kHeadersSize + 60 * 7 + 30); // seven whole rows and half of the eighth
    Load(image);
    for (const int zoom : {1, 2}) {
        Command(zoom == 1 ? IDM_ZOOM_100 : IDM_ZOOM_200);
        EXPECT_EQ(Paint().Misses(20 * zoom, 10 * zoom,
                                 [&](int x, int y) {
                                     return y < 3 * zoom ? BackgroundPixel()
                                                         : Rainbow(x / zoom, y / zoom);
                                 }),
                  0)
            << zoom;
    }

    const auto palette = DistinctPalette();
    Load(Picture8(45, 30, palette, Diagonal), "eight.bmp");
    EXPECT_EQ(Paint().Misses(90, 60, [&](int x, int y) { return palette[Diagonal(x / 2, y / 2)]; }),
              0);
}

TEST_F(MainWindowTest, UnsafeHeadersAreNotDrawnButStillSetTheRanges) {
    OpenMainWindow(300, 200);
    Bytes image = Picture8(400, 20, DistinctPalette(), Diagonal);
    image.resize(700); // the colour table is cut off
    Load(image);
    EXPECT_TRUE(OnlyMessage("ファイルが途中で切れているため表示できません"));
    const Capture shot = Paint();
    EXPECT_EQ(shot.At(0, 0), BackgroundPixel());
    EXPECT_FALSE(ScreenPalette.built);
    EXPECT_EQ(Maximum(SB_HORZ), 400 - shot.width);

    // A file too short for its headers is loaded and paints nothing.
    Load(Bytes{'B', 'M', 1, 2, 3});
    Paint();
    EXPECT_EQ(ImageBytes, 5u);
}

// An 8-bit run-length encoded image of Diagonal indices: every pixel a run of one.
Bytes MakeRle8(int width, int height) {
    Bytes image = Picture8(width, height, DistinctPalette(), Diagonal);
    image.resize(bmp::k8BitPixelData);
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
    Paint();
    // Runs rewritten in the document are not seen until the next load or conversion:
    // painting kept what it unpacked.
    auto* runs = static_cast<BYTE*>(GlobalLock(ImageBuffer));
    for (DWORD i = bmp::k8BitPixelData + 1; i < ImageBytes - 2; i += 2) {
        runs[i] = 0;
    }
    GlobalUnlock(ImageBuffer);
    RepaintWindow(window_);
    EXPECT_EQ(Paint().At(7, 5), palette[Diagonal(7, 5)]);
    InvalidateScreenCache();
    RepaintWindow(window_);
    EXPECT_EQ(Paint().At(7, 5), palette[0]);

    // Unpacking that runs out of memory is told once; the window shows its background.
    Load(MakeRle8(1024, 1024), "rle_big.bmp");
    FailNextAllocationOfAtLeast(1024 * 1024);
    EXPECT_EQ(Paint().At(7, 5), BackgroundPixel());
    EXPECT_EQ(Told(), std::vector<std::string>{"メモリが足りません"});
    RepaintWindow(window_);
    Paint();
    EXPECT_EQ(Seams.messages.size(), 1u);

    // 32768 x 32768 from 4 MiB would unpack into 1 GiB: not drawn, but the ranges are set.
    Bytes huge = MakeRle8(8, 1);
    bmp::WriteU32(&huge[bmp::kBiWidth], 32768);
    bmp::WriteU32(&huge[bmp::kBiHeight], 32768);
    huge.resize(bmp::k8BitPixelData + (4 << 20), 0);
    Load(huge, "rle_huge.bmp");
    const Capture shot = Paint();
    EXPECT_EQ(shot.At(7, 5), BackgroundPixel());
    EXPECT_EQ(Maximum(SB_VERT), 32768 - shot.height);
    EXPECT_EQ(Told(), (std::vector<std::string>{"メモリが足りません",
                                                "画像が大きすぎるため表示できません"}));
}

// The ranges are the image less the client area; paint shows the image at the bar positions;
// a second image keeps the positions, limited by its own ranges once painted; a smaller one
// gets 0 to 0, which hides the bars.
TEST_F(MainWindowTest, RangesFollowTheImageAndPaintFollowsTheBars) {
    ShowLargeImage();
    EXPECT_EQ(Maximum(SB_HORZ), 400);
    EXPECT_EQ(Maximum(SB_VERT), 300);
    Scroll(WM_HSCROLL, SB_THUMBPOSITION, 250);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    const Capture shot = Paint();
    ASSERT_EQ(shot.width, 600);
    ASSERT_EQ(shot.height, 500);
    EXPECT_EQ(RainbowMisses(shot, 250, 11), 0);

    Load(Picture24(700, 520, Rainbow), "second.bmp");
    Paint();
    EXPECT_EQ(Maximum(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_VERT), 11);

    Load(Picture24(100, 80, Rainbow), "small.bmp");
    Paint();
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
}

// Line and page steps, the ends, the thumb and unknown codes, each from a position; the end
// of scrolling changes nothing and repaints nothing.
TEST_F(MainWindowTest, ScrollStepsStopAtTheEnds) {
    ShowLargeImage();
    const int maximum = Maximum(SB_VERT);
    ASSERT_EQ(maximum, 300);
    const struct {
        int from; // -1: where the last step left it
        int code, thumb, expected;
    } steps[] = {
        {-1, SB_LINEDOWN, 0, 1},        {-1, SB_LINEUP, 0, 0},
        {-1, SB_LINEUP, 0, 0},          {-1, SB_PAGEDOWN, 0, 11},
        {5, SB_PAGEUP, 0, 0},           {maximum - 3, SB_PAGEDOWN, 0, maximum},
        {-1, SB_LINEDOWN, 0, maximum},  {-1, SB_TOP, 0, 0},
        {-1, SB_BOTTOM, 0, maximum},    {-1, SB_THUMBTRACK, 123, 123},
        {-1, SB_THUMBPOSITION, 77, 77}, {-1, 99, 0, maximum}, // an unknown code: the end
    };
    for (const auto& step : steps) {
        if (step.from >= 0) {
            SetScrollPos(window_, SB_VERT, step.from, FALSE);
        }
        Scroll(WM_VSCROLL, step.code, step.thumb);
        EXPECT_EQ(Position(SB_VERT), step.expected) << step.code << " from " << step.from;
    }
    // The horizontal bar works alike.
    Scroll(WM_HSCROLL, SB_PAGEDOWN);
    Scroll(WM_HSCROLL, SB_LINEDOWN);
    EXPECT_EQ(Position(SB_HORZ), 12);
    EXPECT_EQ(Maximum(SB_HORZ), 400);

    Scroll(WM_VSCROLL, SB_TOP);
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    Paint();
    RECT update;
    ASSERT_FALSE(GetUpdateRect(window_, &update, FALSE));
    Scroll(WM_VSCROLL, SB_ENDSCROLL);
    EXPECT_EQ(Position(SB_VERT), 1);
    EXPECT_FALSE(GetUpdateRect(window_, &update, FALSE));
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_TRUE(GetUpdateRect(window_, &update, FALSE));
}

// Resizes the main window by dx x dy pixels.
void Grow(HWND window, int dx, int dy) {
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + dx,
                 frame.bottom - frame.top + dy, SWP_NOMOVE | SWP_NOZORDER);
}

TEST_F(MainWindowTest, GrowingTheWindowKeepsTheImageInPlaceAtTheNewRanges) {
    ShowLargeImage();
    Scroll(WM_HSCROLL, SB_BOTTOM);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    Paint();
    Grow(window_, 300, 150); // maximised, as it were: 900 x 650 pixels to show the image in
    const Capture shot = Paint();
    ASSERT_EQ(shot.width, 900);
    ASSERT_EQ(shot.height, 650);
    EXPECT_EQ(Position(SB_HORZ), 100);
    EXPECT_EQ(Position(SB_VERT), 150);
    // The image's bottom-right corner in the window's, nothing of the background.
    EXPECT_EQ(RainbowMisses(shot, 100, 150), 0);
}

TEST_F(MainWindowTest, TheWheelAndTheKeysScrollWithinTheRanges) {
    OpenMainWindow(600, 500);
    Load(Picture24(1000, 3000, Rainbow));
    const int height = Paint().height;
    UINT lines = 0;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    const int notch = static_cast<int>(lines) * kWheelLine;
    const auto turn = [](WORD keys, int notches) {
        return MAKEWPARAM(keys, static_cast<WORD>(notches * WHEEL_DELTA));
    };
    const int line = kWheelLine;
    const struct {
        UINT message;
        WPARAM wParam;
        int bar, expected;
    } steps[] = {
        {WM_MOUSEWHEEL, turn(0, -2), SB_VERT, 2 * notch}, // two notches towards the user
        {WM_MOUSEWHEEL, turn(MK_SHIFT, -1), SB_HORZ, notch},
        {WM_MOUSEHWHEEL, turn(0, 1), SB_HORZ, 2 * notch}, // tilted right
        {WM_KEYDOWN, VK_DOWN, SB_VERT, 2 * notch + line},
        {WM_KEYDOWN, VK_RIGHT, SB_HORZ, 2 * notch + line},
        {WM_KEYDOWN, VK_NEXT, SB_VERT, 2 * notch + line + height},
        {WM_KEYDOWN, VK_END, SB_VERT, 3000 - height},
        {WM_MOUSEWHEEL, turn(0, -1), SB_VERT, 3000 - height}, // at the end already
        {WM_KEYDOWN, VK_PRIOR, SB_VERT, 3000 - 2 * height},
        {WM_KEYDOWN, VK_HOME, SB_VERT, 0},
        {WM_KEYDOWN, VK_LEFT, SB_HORZ, 2 * notch},
        {WM_KEYDOWN, VK_LEFT, SB_HORZ, 2 * notch - line},
    };
    for (const auto& step : steps) {
        SendMessageA(window_, step.message, step.wParam, 0);
        EXPECT_EQ(Position(step.bar), step.expected) << step.message << " " << step.wParam;
    }
    EXPECT_EQ(RainbowMisses(Paint(), 2 * notch - line, 0), 0);
}

// The bars' thumbs are the client area's share of the image, at every zoom; zooming keeps the
// image point at the centre of the window; above 100 % every image pixel is a square of
// window pixels; back at 100 % the painting is today's.
TEST_F(MainWindowTest, ZoomScalesThePixelsTheRangesAndTheThumbs) {
    ShowLargeImage();
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_PAGE;
    GetScrollInfo(window_, SB_HORZ, &info);
    EXPECT_EQ(info.nPage, 600u);

    Command(IDM_ZOOM_200);
    Capture shot = Paint();
    EXPECT_EQ(Maximum(SB_HORZ), 2000 - 600);
    EXPECT_EQ(Maximum(SB_VERT), 1600 - 500);
    EXPECT_EQ(Position(SB_HORZ), 300); // the centre, 300 x 250, is now at 600 x 500
    EXPECT_EQ(Position(SB_VERT), 250);
    EXPECT_EQ(RainbowMisses(shot, 300, 250, 2), 0);
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
    Scroll(WM_HSCROLL, SB_THUMBPOSITION, 250);
    Scroll(WM_VSCROLL, SB_THUMBPOSITION, 11);
    EXPECT_EQ(RainbowMisses(Paint(), 250, 11), 0);

    // At 50 % the image is 500 x 400: no bar is needed, the rest is background.
    Command(IDM_ZOOM_50);
    shot = Paint();
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
    EXPECT_NE(shot.At(498, 10), BackgroundPixel());
    EXPECT_EQ(shot.At(501, 10), BackgroundPixel());
    EXPECT_EQ(shot.At(10, 401), BackgroundPixel());

    // Fitted to the window, the whole image shows, and follows the window's size.
    Command(IDM_ZOOM_FIT);
    shot = Paint();
    EXPECT_EQ(Maximum(SB_HORZ), 0);
    EXPECT_EQ(Maximum(SB_VERT), 0);
    EXPECT_GE(View.zoom, 60);
    EXPECT_LE(1000 * View.zoom / 100, shot.width);
    EXPECT_LE(800 * View.zoom / 100, shot.height);
    const int fitted = View.zoom;
    // Another image is fitted as it is painted.
    Load(Picture24(200, 100, Rainbow), "small.bmp");
    Paint();
    EXPECT_EQ(View.zoom, std::min(400, shot.width / 2));
    Load(Picture24(1000, 800, Rainbow), "large.bmp");
    Paint();
    EXPECT_EQ(View.zoom, fitted);
    Grow(window_, 400, 400);
    EXPECT_GT(View.zoom, fitted);
}

// While Space is held the image as it was opened (or last saved) shows; without a copy of it
// the key says so once.
TEST_F(MainWindowTest, SpaceShowsTheImageAsItWasOpened) {
    OpenMainWindow(300, 200);
    Load(Picture24(61, 47, Rainbow));
    // A conversion, as it were: the bottom row turns black.
    auto* document = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    std::fill_n(document + bmp::kHeadersSize, 61 * 3, std::uint8_t{0});
    GlobalUnlock(ImageBuffer);
    InvalidateScreenCache();
    RepaintWindow(window_);
    EXPECT_EQ(Paint().At(3, 46), 0u);
    SendMessageA(window_, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Paint().At(3, 46), Rainbow(3, 46));
    SendMessageA(window_, WM_KEYDOWN, VK_SPACE, 1 << 30); // the key repeats
    SendMessageA(window_, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Paint().At(3, 46), 0u);

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
    EXPECT_EQ(Paint().At(3, 46), 0u);
}

} // namespace

std::string StatusText(int part) {
    char text[64] = "";
    SendMessageA(StatusBarWindow(), SB_GETTEXTA, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(text));
    return text;
}

// The bar counts each colour once: of a true-colour image its pixels', of an 8-bit one the
// colours of the entries its pixels take (an entry repeating another's colour adds none, an
// entry no pixel takes adds none). 表示 → ステータスバー hides it, and the image has the
// whole client area; the choice is kept in the settings.
TEST_F(MainWindowTest, TheStatusBarTellsSizeBitsColoursAndZoom) {
    OpenMainWindow(300, 200);
    Load(Picture24(40, 30,
                   [](int x, int y) { return 0x030507u * static_cast<unsigned>(x * y % 7); }));
    Paint();
    EXPECT_EQ(StatusText(0), "40 x 30");
    EXPECT_EQ(StatusText(1), std::string("24 ") + kStatusBitsText);
    EXPECT_EQ(StatusText(2), std::string("7 ") + kStatusColoursText);
    EXPECT_EQ(StatusText(3), "100%");

    std::vector<std::uint32_t> palette(256);
    for (int e = 0; e < 256; ++e) {
        palette[e] = e < 20 ? 0x102030u * static_cast<unsigned>(e % 10) : 0xFF0000u + e;
    }
    Load(Picture8(33, 21, palette,
                  [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 20); }));
    Command(IDM_ZOOM_200);
    Paint();
    EXPECT_EQ(StatusText(0), "33 x 21");
    EXPECT_EQ(StatusText(1), std::string("8 ") + kStatusBitsText);
    EXPECT_EQ(StatusText(2), std::string("10 ") + kStatusColoursText);
    EXPECT_EQ(StatusText(3), "200%");

    RECT client, area;
    ViewArea(window_, area);
    GetClientRect(window_, &client);
    EXPECT_LT(area.bottom, client.bottom);
    Command(IDM_STATUSBAR);
    ViewArea(window_, area);
    EXPECT_EQ(area.bottom, client.bottom);
    EXPECT_FALSE(IsWindowVisible(StatusBarWindow()));
    EXPECT_EQ(GetMenuState(GetMenu(window_), IDM_STATUSBAR, MF_BYCOMMAND) & MF_CHECKED, 0u);
    SaveSettings();
    DWORD type = 0;
    Bytes data;
    ASSERT_TRUE(ReadSetting("StatusBar", type, data));
    EXPECT_EQ(data, (Bytes{0, 0, 0, 0}));
}
