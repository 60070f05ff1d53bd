// Error diffusion from the menu: the question, the palette dialog, the conversion window,
// the worker's messages, and keeping every other command away from the image while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/bmp/layout.h"
#include "win/app/shell.h"
#include "win/app/settings.h"
#include "win/document/document.h"
#include "win/palette/user_palette.h"
#include "core/quantize/basic_palette.h"
#include "win/reduce/conversion_window.h"
#include "win/reduce/diffusion_command.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "core/text/texts.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t Photo(int x, int y) {
    return static_cast<std::uint32_t>((x * 7 + y) & 0xFF) << 16 |
           static_cast<std::uint32_t>((y * 5) & 0xFF) << 8 |
           static_cast<std::uint32_t>((x ^ y) & 0xFF);
}

const char* const kQuestion = "固定パレットを使いますか？";
const char* const kGroups = "固定パレット 0\n基本パレット 42\nフリーパレット 214";
// The engine's result for the same image, fixed count and user palette.
Bytes EngineResult(const Bytes& image, int fixed = 0, const Bytes& table = testimg::kBlackTable,
                   quantize::Stages method = quantize::kBasicDiffusion, int threads = 0) {
    return testimg::Diffused(image, fixed, table, method, threads).image;
}

// Texts set in the conversion window's edit control, seen by a hook on the UI thread.
std::vector<std::string> ShownTexts;
LRESULT CALLBACK WatchTexts(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETTEXT && sent->hwnd == ProgressEdit &&
        ProgressEdit != nullptr) {
        ShownTexts.push_back(reinterpret_cast<const char*>(sent->lParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class DiffusionCommandTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(300, 200);
        ShownTexts.clear();
    }
    void TearDown() override {
        WaitForTheRun();
        ProgramTest::TearDown();
    }
    // Runs error diffusion without fixed colours on `image`, recording the texts the window
    // shows in ShownTexts; gives the texts of the engine's own reports for the same image.
    std::vector<std::string> RunWatchingTexts(const Bytes& image, const char* name,
                                              quantize::Stages method = quantize::kBasicDiffusion) {
        Load(image, name);
        Seams.messageAnswer = IDNO;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchTexts, nullptr, GetCurrentThreadId());
        Diffuse(method.palette == quantize::PaletteMethod::Groups ? IDM_REDUCE_DIFFUSE
                                                                  : IDM_REDUCE_DIFFUSE_HQ);
        UnhookWindowsHookEx(hook);
        return testimg::Diffused(image, 0, testimg::kBlackTable, method).texts;
    }
};

// いいえ runs without fixed colours whatever the count: the question, then the worker's boxes,
// owned by the conversion window, which is gone at the end; the window shows the engine's
// reports of every hundredth position with its phase label; the result is the engine's.
TEST_F(DiffusionCommandTest, NoMeansNoFixedColoursAndTheWindowShowsTheEnginesReports) {
    const Bytes image = Picture24(37, 23, Photo);
    FixedCount = 40;
    const auto texts = RunWatchingTexts(image, "diffuse_no.bmp");
    EXPECT_EQ(RunFixedCount, 0);
    EXPECT_TRUE(Seams.dialogs.empty());
    EXPECT_EQ(Told(), (std::vector<std::string>{kQuestion, kGroups, "パレット完成", "終わり"}));
    EXPECT_EQ(Seams.messages[0].type, static_cast<UINT>(MB_ICONQUESTION | MB_YESNO));
    EXPECT_EQ(Seams.messages[0].owner, window_);
    EXPECT_EQ(Seams.messages[1].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_NE(Seams.messages[1].owner, window_);            // owned by the conversion window
    EXPECT_EQ(GetParent(Seams.messages[1].owner), nullptr); // which is gone by now
    EXPECT_EQ(Seams.messages[2].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(DocumentBytes(), EngineResult(image));
    EXPECT_EQ(FindWindowExA(window_, nullptr, kConversionWindowClass, nullptr), nullptr);
    // The engine's reports are the positions whose count is a multiple of 100: the texts a
    // window receiving every position would show, in the same order.
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "ビットマップ走査中\n\r0 / 920");
    EXPECT_EQ(texts.back(), "ビットマップ変換中\n\r800 / 880");
    EXPECT_EQ(ShownTexts, texts);

    // The repaint after the run built the display palette afresh from the new colour table:
    // the run's own palette object (flags PC_RESERVED) is gone.
    Paint();
    ASSERT_TRUE(ScreenPalette.built);
    PALETTEENTRY entries[256];
    ASSERT_EQ(GetPaletteEntries(ScreenPalette.object, 0, 256, entries), 256u);
    const Bytes result = DocumentBytes();
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* entry = &result[bmp::kColourTable + 4 * i];
        ASSERT_EQ(entries[i].peRed, entry[2]);
        ASSERT_EQ(entries[i].peBlue, entry[0]);
        ASSERT_EQ(entries[i].peFlags, 0);
    }
}

TEST_F(DiffusionCommandTest, YesBeforeAnyPaletteDialogOpensItFirst) {
    const Bytes image = Picture24(20, 9, Photo);
    Load(image, "diffuse_yes.bmp");
    Seams.answerFor = [](const std::string& text) { return text == kQuestion ? IDYES : IDOK; };
    RunDialog([this] { Command(IDM_REDUCE_DIFFUSE); }, {[](HWND d) {
                  SetDlgItemTextA(d, IDC_USED, "5");
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    WaitForTheRun();
    EXPECT_EQ(RunFixedCount, 5);
    const auto texts = Told();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[1], "固定パレット 5\n基本パレット 42\nフリーパレット 209");
    EXPECT_EQ(DocumentBytes(), EngineResult(image, 5, TableBytes(SavedPalette)));
}

TEST_F(DiffusionCommandTest, YesAfterTheDialogWasOpenedUsesTheCountAsItStands) {
    SavedPalette = NewPaletteTable();
    auto* entries = static_cast<BYTE*>(GlobalLock(SavedPalette));
    for (int i = 0; i < 1024; ++i) {
        entries[i] = static_cast<BYTE>(i * 13);
    }
    GlobalUnlock(SavedPalette);
    FixedCount = 230;
    const Bytes image = Picture24(16, 16, Photo);
    Load(image, "diffuse_again.bmp");
    Seams.messageAnswer = IDYES;
    Diffuse();
    EXPECT_TRUE(Seams.dialogs.empty());
    EXPECT_EQ(RunFixedCount, 230);
    EXPECT_EQ(Told()[1], "固定パレット 230\n基本パレット 26\nフリーパレット 0");
    EXPECT_EQ(DocumentBytes(), EngineResult(image, 230, TableBytes(SavedPalette)));
}

TEST_F(DiffusionCommandTest, HighQualityTakesTheSameWayWithAPaletteForTheImage) {
    const Bytes image = Picture24(37, 23, Photo);
    const auto texts = RunWatchingTexts(image, "hq.bmp", quantize::kHighQualityDiffusion);
    EXPECT_EQ(Told(), (std::vector<std::string>{
                          kQuestion, "固定パレット 0\n基本パレット 0\nフリーパレット 256",
                          "パレット完成", "終わり"}));
    EXPECT_EQ(ShownTexts, texts);
    EXPECT_NE(std::find(ShownTexts.begin(), ShownTexts.end(), "パレット作成中\n\r0 / 500"),
              ShownTexts.end());
    EXPECT_EQ(DocumentBytes(),
              EngineResult(image, 0, testimg::kBlackTable, quantize::kHighQualityDiffusion));
    EXPECT_NE(DocumentBytes(), EngineResult(image));
}

// 高画質の設定 reach the run: the group message and the result have the colours and the
// dithering chosen; a key colour with no fixed colour to be it is refused with a word, and
// the image stays as it was.
TEST_F(DiffusionCommandTest, HighQualityRunsTakeTheSettings) {
    const Bytes image = Picture24(37, 23, Photo);
    QualityColours = 16;
    QualityDither = 1;
    Load(image, "hq_settings.bmp");
    Seams.messageAnswer = IDNO;
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    ASSERT_EQ(Told().size(), 4u);
    EXPECT_EQ(Told()[1], "固定パレット 0\n基本パレット 0\nフリーパレット 16");
    EXPECT_EQ(DocumentBytes(),
              testimg::Diffused(image, 0, testimg::kBlackTable,
                                quantize::HighQualityStages(quantize::DitherMethod::Ordered), 0,
                                {16, 100, false})
                  .image);

    QualityKey = 1;
    Load(image, "hq_key.bmp");
    ResetSeams();
    Seams.messageAnswer = IDNO;
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    EXPECT_EQ(Told(), (std::vector<std::string>{
                          kQuestion, "透過色にはパレットの0番を使います\n"
                                     "固定パレットを使い、使用数を1以上にしてください"}));
    EXPECT_EQ(Seams.messages[1].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(DocumentBytes(), image);

    // 並び順 明るさ順: the chosen entries darkest first, and every pixel the colour it has in
    // the order as chosen.
    QualityKey = 0;
    QualityOrder = 2;
    Load(image, "hq_order.bmp");
    ResetSeams();
    Seams.messageAnswer = IDNO;
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    const Bytes sorted = DocumentBytes();
    const Bytes chosen =
        testimg::Diffused(image, 0, testimg::kBlackTable,
                          quantize::HighQualityStages(quantize::DitherMethod::Ordered), 0,
                          {16, 100, false})
            .image;
    ASSERT_EQ(sorted.size(), chosen.size());
    EXPECT_NE(sorted, chosen);
    const auto light = [&](int e) {
        const std::uint8_t* bgr = &sorted[bmp::kColourTable + 4 * e];
        return 299 * bgr[2] + 587 * bgr[1] + 114 * bgr[0];
    };
    for (int e = 1; e < 16; ++e) {
        EXPECT_LE(light(e - 1), light(e)) << e;
    }
    for (int r = 0; r < 23; ++r) {
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(testimg::ColourAt(sorted, x, r), testimg::ColourAt(chosen, x, r));
        }
    }
}

// 選択元パレット: a file that cannot be used is refused before any question, with the reason
// and its name, and the image stays as it was; a palette of a name users ask for (in any
// case) or a palette file gives the run its colours, and the depth chosen goes with them.
TEST_F(DiffusionCommandTest, HighQualityTakesItsColoursFromTheListOrRefusesIt) {
    const Bytes image = Picture24(37, 23, Photo);
    const std::string bad = "GIMP Palette\n1 2 300\n";
    const std::pair<std::string, const char*> refused[] = {
        {Write(Bytes(bad.begin(), bad.end()), "bad.gpl"), "ファイルが読めません"},
        {Write({}, "empty.gpl"), "ファイルが読めません"},
        {Write(Bytes((1 << 20) + 1, '0'), "large.gpl"), "ファイルが大きすぎです"},
        {Name("missing.gpl"), "ファイルが開けません"}};
    for (const auto& [path, reason] : refused) {
        Load(image, "from.bmp");
        ResetSeams();
        std::strcpy(QualityFrom, path.c_str());
        Diffuse(IDM_REDUCE_DIFFUSE_HQ);
        EXPECT_TRUE(OnlyMessage("選択元パレットを使えません\n" + std::string(reason) + "\n" + path))
            << path;
        EXPECT_EQ(DocumentBytes(), image);
        EXPECT_TRUE(RunFromColours.empty());
    }

    const std::string three = "GIMP Palette\n255 0 0\n0 255 0\n0 0 255\n";
    QualityDepth = 1;
    for (const auto& [from, count] : {std::pair{std::string("PICO8"), std::size_t{16}},
                                      {Write(Bytes(three.begin(), three.end()), "three.gpl"), 3}}) {
        Load(image, "from.bmp");
        ResetSeams();
        Seams.messageAnswer = IDNO;
        std::strcpy(QualityFrom, from.c_str());
        Diffuse(IDM_REDUCE_DIFFUSE_HQ);
        EXPECT_EQ(Told().size(), 4u) << from;
        EXPECT_EQ(RunFromColours.size(), count) << from;
        EXPECT_EQ(DocumentBytes()[bmp::kBiBitCount], 8);
    }
    EXPECT_EQ(RunFromColours, (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF}));
    EXPECT_EQ(QualityChoices().depth, (std::array<int, 3>{5, 5, 5}));
}

// 色の深さ 15-bit: every entry of the result's table after the fixed ones lies on the grid of
// 5 bits a channel, level * 255 / 31 rounded; a fixed colour off the grid stays as it is,
// told once before the run goes on.
TEST_F(DiffusionCommandTest, HighQualityOnA15BitDeviceChoosesGridColoursOnly) {
    SavedPalette = NewPaletteTable();
    const Bytes fixed = {3, 2, 1, 0, 8, 0, 255, 0}; // (1, 2, 3) off the grid, (255, 0, 8) on it
    std::memcpy(GlobalLock(SavedPalette), fixed.data(), fixed.size());
    GlobalUnlock(SavedPalette);
    FixedCount = 2;
    Load(Picture24(37, 23, Photo), "depth.bmp");
    QualityDepth = 1;
    QuietRuns = 1;
    Seams.messageAnswer = IDYES;
    Diffuse(IDM_REDUCE_DIFFUSE_HQ);
    EXPECT_EQ(Told(),
              (std::vector<std::string>{
                  kQuestion, "固定パレットに色の深さにない色があります\nそのまま使います"}));
    const Bytes result = DocumentBytes();
    ASSERT_EQ(result[bmp::kBiBitCount], 8);
    std::vector<bool> onGrid(256, false);
    for (int level = 0; level < 32; ++level) {
        onGrid[static_cast<std::size_t>((level * 255 * 2 + 31) / 62)] = true; // level * 255 / 31
    }
    EXPECT_TRUE(std::equal(fixed.begin(), fixed.end(), result.begin() + bmp::kColourTable));
    std::vector<int> offGrid;
    for (int i = 4; i < 256 * 4; ++i) {
        if (i % 4 != 3 && !onGrid[result[bmp::kColourTable + i]]) {
            offGrid.push_back(i / 4);
        }
    }
    EXPECT_TRUE(offGrid.empty()) << "entry " << (offGrid.empty() ? 0 : offGrid.front());
}

// With 経過のメッセージを出さない both methods show no box for their stages: only the question
// of the fixed palette, and the window's phases.
TEST_F(DiffusionCommandTest, QuietRunsShowNoStageBoxes) {
    const Bytes image = Picture24(37, 23, Photo);
    QuietRuns = 1;
    for (const int command : {IDM_REDUCE_DIFFUSE, IDM_REDUCE_DIFFUSE_HQ}) {
        Load(image, "quiet.bmp");
        ResetSeams();
        Seams.messageAnswer = IDNO;
        Diffuse(command);
        EXPECT_EQ(Told(), std::vector<std::string>{kQuestion}) << command;
        EXPECT_EQ(DocumentBytes()[bmp::kBiBitCount], 8);
    }
}

// A large image, dithered by two threads: the window shows a subsequence of the engine's
// reports with every phase's first and last text, and the bytes are those of one thread.
TEST_F(DiffusionCommandTest, LargeImagesShowEveryPhasesEndsAndTwoThreadsGetTheBytesOfOne) {
    const Bytes image = Picture24(1024, 520, Photo); // big enough for a second thread
    const auto texts = RunWatchingTexts(image, "diffuse_large.bmp");
    // In order, each one of the full sequence.
    size_t next = 0;
    for (const auto& text : ShownTexts) {
        while (next < texts.size() && texts[next] != text) {
            ++next;
        }
        ASSERT_LT(next, texts.size()) << text;
    }
    for (const char* expected :
         {"ビットマップ走査中\n\r0 / 532480", "ビットマップ走査中\n\r532400 / 532480",
          "パレット候補走査中\n\r0 / 214", "パレット候補走査中\n\r200 / 214",
          "ビットマップ変換中\n\r0 / 531456", "ビットマップ変換中\n\r531400 / 531456"}) {
        EXPECT_NE(std::find(ShownTexts.begin(), ShownTexts.end(), expected), ShownTexts.end())
            << expected;
    }
    const Bytes oneThread =
        EngineResult(image, 0, testimg::kBlackTable, quantize::kBasicDiffusion, 1);
    EXPECT_EQ(DocumentBytes(), oneThread);
    EXPECT_EQ(EngineResult(image, 0, testimg::kBlackTable, quantize::kBasicDiffusion, 2),
              oneThread);
}

// An image the run would refuse is refused as the run would refuse it, before the question
// and the palette counts, and no run starts: an 8-bit image by 誤差拡散, a file that is no
// image by either method. What only the run can find is told by the run.
TEST_F(DiffusionCommandTest, ImagesTheRunWouldRefuseAreRefusedBeforeAnyQuestion) {
    const Bytes indexed = Picture8(10, 10, {0x102030, 0x405060}, [](int x, int y) {
        return static_cast<std::uint8_t>((x + y) % 2);
    });
    const Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e', '\n'};
    const struct {
        const Bytes& image;
        int command;
        const char* refusal;
        UINT type;
    } cases[] = {
        {indexed, IDM_REDUCE_DIFFUSE, "すでに２５６です", MB_ICONINFORMATION},
        {text, IDM_REDUCE_DIFFUSE, "この形式のBMPは変換できません", MB_ICONERROR},
        {text, IDM_REDUCE_DIFFUSE_HQ, "この形式のBMPは変換できません", MB_ICONERROR},
    };
    Seams.messageAnswer = IDNO;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusal);
        Load(c.image, "refused.bmp");
        Seams.messages.clear();
        Command(c.command);
        EXPECT_TRUE(OnlyMessage(c.refusal, c.type));
        EXPECT_FALSE(ConversionInProgress());
        EXPECT_EQ(FindWindowExA(window_, nullptr, kConversionWindowClass, nullptr), nullptr);
        EXPECT_EQ(DocumentBytes(), c.image);
    }
    // A refusal the run itself finds (memory running out) is told by the worker, and its
    // window closes as after a conversion.
    const Bytes photo = Picture24(128, 128, Photo);
    Load(photo, "refused.bmp");
    Seams.messages.clear();
    FailNextAllocationOfAtLeast(16384);
    Diffuse();
    const auto texts = Told();
    ASSERT_EQ(texts.size(), 3u); // the question, the counts, the refusal
    EXPECT_EQ(texts[2], "メモリが足りません");
    EXPECT_EQ(FindWindowExA(window_, nullptr, kConversionWindowClass, nullptr), nullptr);
    EXPECT_EQ(DocumentBytes(), photo);
}

LRESULT CALLBACK RefuseConversionWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        const char* name = create->lpcs->lpszClass;
        if (!IS_INTRESOURCE(name) && std::strcmp(name, kConversionWindowClass) == 0) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(DiffusionCommandTest, AWindowThatCannotBeCreatedStartsNoRun) {
    const Bytes image = Picture24(8, 8, Photo);
    Load(image, "diffuse_nowindow.bmp");
    Seams.messageAnswer = IDNO;
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseConversionWindow, nullptr, GetCurrentThreadId());
    Command(IDM_REDUCE_DIFFUSE);
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(ConversionInProgress());
    EXPECT_EQ(Told(), (std::vector<std::string>{kQuestion, "変換を開始できません"}));
    EXPECT_EQ(DocumentBytes(), image);
}

TEST_F(DiffusionCommandTest, FilesOtherToolsWriteConvertThroughTheMenuAsTheirPlainTwins) {
    const auto few = [](int x, int r) { return (x % 3) * 0x402010u + (r % 4) * 0x000810u; };
    for (const testimg::Layout layout : {testimg::Layout{24, 124}, testimg::Layout{32, 40}}) {
        SCOPED_TRACE(layout.bits);
        Load(testimg::Encode(layout, 37, 23, Photo));
        Seams.messageAnswer = IDNO;
        Diffuse();
        EXPECT_EQ(DocumentBytes(), EngineResult(testimg::Encode({24, 40}, 37, 23, Photo)));

        Load(testimg::Encode(layout, 37, 23, few));
        Command(IDM_REDUCE_EXACT);
        testimg::VectorBlock plain{testimg::Encode({24, 40}, 37, 23, few)};
        ASSERT_EQ(plain.Exact().outcome, quantize::Outcome::Converted);
        EXPECT_EQ(DocumentBytes(), plain.bytes);
    }
}

TEST_F(DiffusionCommandTest, EveryCommandThatTouchesTheImageWaitsForTheRun) {
    const Bytes image = Picture24(300, 200, Photo); // fills the client area
    Load(image, "diffuse_busy.bmp");
    const std::string other = Write(Picture24(5, 5, Photo), "other.bmp");
    // While "パレット完成" is up the worker waits for it: every command is tried then.
    Seams.messageAnswer = IDNO;
    size_t before = 0;
    Capture shot;
    RECT progress = {};
    Seams.onMessage = [&](const ShownMessage& shown) {
        if (shown.text != "パレット完成") {
            return;
        }
        ASSERT_TRUE(ConversionInProgress());
        before = Told().size();
        for (int id :
             {IDM_OPEN, IDM_RELOAD, IDM_SAVE, IDM_SAVEAS, IDM_REDUCE_EXACT, IDM_REDUCE_DIFFUSE}) {
            SendMessageA(window_, WM_COMMAND, id, 0);
        }
        Drop({other});
        // Painting leaves the image alone: the window shows its background.
        RepaintWindow(window_);
        UpdateWindow(window_);
        shot = CaptureClient(window_);
        GetWindowRect(FindWindowExA(window_, nullptr, kConversionWindowClass, nullptr), &progress);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&progress), 2);
    };
    Seams.dialogPath = other;
    Diffuse();
    Seams.onMessage = nullptr;
    ASSERT_FALSE(shot.pixels.empty());
    for (POINT at : {POINT{250, 60}, POINT{shot.width - 1, shot.height - 1}}) {
        ASSERT_FALSE(PtInRect(&progress, at));
        EXPECT_EQ(shot.At(at.x, at.y), BackgroundPixel()) << at.x << "," << at.y;
    }
    const auto texts = Told();
    ASSERT_GE(texts.size(), before + 7);
    for (size_t i = before; i < before + 7; ++i) {
        EXPECT_EQ(texts[i], "変換中です");
    }
    EXPECT_EQ(texts.back(), "終わり");
    EXPECT_TRUE(Seams.dialogs.empty());
    EXPECT_EQ(Seams.dropsFinished, 1);
    EXPECT_EQ(DocumentBytes(), EngineResult(image));
    EXPECT_EQ(OnDisk(CurrentFileName), image);
}

// Real message boxes, driven by real key presses: the scripted question aside, every box of
// the run is the platform's own.
int RealBoxesButTheQuestion(HWND owner, const char* text, const char* caption, UINT type) {
    if (std::strcmp(text, kUseFixedPaletteText) == 0) {
        return IDNO;
    }
    return ShowPlatformMessage(owner, text, caption, type);
}

struct BoxSearch {
    std::string text;
    HWND found;
};
BOOL CALLBACK FindBoxWithText(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    char className[8] = "", text[256] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof className);
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text); // a message box's text
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::strcmp(className, "#32770") == 0 && (search->text.empty() || search->text == text)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
// The program's open box with this text (any box for an empty text), or null.
HWND OpenBox(const std::string& text) {
    BoxSearch search{text, nullptr};
    EnumWindows(FindBoxWithText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
// True when `front` lies above `back` among the top-level windows.
bool InFront(HWND front, HWND back) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == front || w == back) {
            return w == front;
        }
    }
    return false;
}
void PressReturn() {
    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
}

// Steps that run while boxes are up: a timer tries the next one at every tick, in whatever
// modal loop is running; a step answers true when it is done. A step that is not done
// within ten seconds fails the test, and every box is then closed so that the run ends.
std::vector<std::function<bool()>> BoxSteps;
size_t NextBoxStep;
DWORD BoxStepSince;
bool BoxStepTimedOut;
VOID CALLBACK TryBoxStep(HWND, UINT, UINT_PTR, DWORD) {
    if (BoxStepTimedOut) {
        if (HWND box = OpenBox("")) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    } else if (NextBoxStep < BoxSteps.size() && BoxSteps[NextBoxStep]()) {
        ++NextBoxStep;
        BoxStepSince = GetTickCount();
    } else if (NextBoxStep < BoxSteps.size() && GetTickCount() - BoxStepSince > 10000) {
        BoxStepTimedOut = true;
    }
}

class BoxesInFront : public DiffusionCommandTest {
  protected:
    // Starts error diffusion on `image` and runs the steps until the run has ended.
    void RunWithSteps(const Bytes& image, std::vector<std::function<bool()>> steps) {
        Load(image, "boxes.bmp");
        ShowMessage = RealBoxesButTheQuestion;
        SetForegroundWindow(window_);
        BoxSteps = std::move(steps);
        NextBoxStep = 0;
        BoxStepSince = GetTickCount();
        BoxStepTimedOut = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, TryBoxStep);
        Command(IDM_REDUCE_DIFFUSE);
        const DWORD start = GetTickCount();
        while ((ConversionInProgress() || OpenBox("") != nullptr) &&
               GetTickCount() - start < 60000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            PumpPending();
        }
        KillTimer(nullptr, timer);
        EXPECT_FALSE(BoxStepTimedOut) << "step " << NextBoxStep << " never came true";
        EXPECT_EQ(NextBoxStep, BoxSteps.size());
        EXPECT_TRUE(IsWindowEnabled(window_));
        EXPECT_EQ(DocumentBytes(), EngineResult(image));
    }
    // A step: the box with this text is the foreground window, in front of the main window,
    // which it keeps disabled; then Return is pressed on it.
    std::function<bool()> AnswerInFront(const std::string& text) {
        return [this, text] {
            HWND box = OpenBox(text);
            if (box == nullptr || GetForegroundWindow() != box || !InFront(box, window_) ||
                IsWindowEnabled(window_)) {
                return false;
            }
            PressReturn();
            return true;
        };
    }
};

// A box raised over the worker's leaves the worker's in front when it closes.
TEST_F(BoxesInFront, ABusyBoxOverTheWorkersBox) {
    const std::string other = Write(Picture24(5, 5, Photo), "other.bmp");
    RunWithSteps(Picture24(64, 48, Photo),
                 {[&] {
                      if (OpenBox(kGroups) == nullptr) {
                          return false;
                      }
                      PostMessageA(window_, WM_DROPFILES,
                                   reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
                      return true;
                  },
                  AnswerInFront(kConversionBusyText), AnswerInFront(kGroups),
                  AnswerInFront(kPaletteCompleteText), AnswerInFront(kFinishedText)});
    EXPECT_EQ(Seams.dropsFinished, 1);
}

// The worker's box raised over a busy box leaves the busy box in front when it closes.
TEST_F(BoxesInFront, TheWorkersBoxOverABusyBox) {
    RunWithSteps(Picture24(1600, 1200, Photo),
                 {AnswerInFront(kGroups), AnswerInFront(kPaletteCompleteText),
                  [&] {
                      // Ctrl+S while the worker dithers.
                      char shown[64] = "";
                      GetWindowTextA(ProgressEdit, shown, sizeof shown);
                      if (std::strstr(shown, kPhaseLabels[2]) == nullptr) {
                          return false;
                      }
                      PostMessageA(window_, WM_COMMAND, IDM_SAVE, 0);
                      return true;
                  },
                  [&] { return OpenBox(kConversionBusyText) != nullptr; },
                  AnswerInFront(kFinishedText), AnswerInFront(kConversionBusyText)});
    // Save works again: the image is written.
    Command(IDM_SAVE);
    EXPECT_EQ(OnDisk(CurrentFileName), DocumentBytes());
}

} // namespace
