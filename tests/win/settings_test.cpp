// The settings store in the registry of the test prefix, and the options dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/app/app.h"
#include "win/app/shell.h"
#include "win/app/settings.h"
#include "win/document/main_window.h"
#include "win/palette/palette_grid.h"
#include "win/reduce/conversion_window.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

const Bytes kZero4 = {0, 0, 0, 0};

class Settings : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ResetRegistry();
    }
    void TearDown() override {
        ResetRegistry();
        ProgramTest::TearDown();
    }
    void SetValue(const char* name, DWORD type, const void* data, DWORD size,
                  HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY product = nullptr;
        ASSERT_EQ(
            RegOpenKeyExA(root, "SOFTWARE\\Hollowmere\\Tintwright", 0, KEY_ALL_ACCESS, &product),
            ERROR_SUCCESS);
        RegSetValueExA(product, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(product);
    }
    void SetDword(const char* name, DWORD value) { SetValue(name, REG_DWORD, &value, 4); }
    static bool OnlyRestartMessage() {
        return OnlyMessageFrom(nullptr, "レジストリに登録します\n再起動してください", MB_OK);
    }
};

void ExpectSetting(const char* name, DWORD type, const Bytes& value,
                   HKEY root = HKEY_LOCAL_MACHINE) {
    DWORD stored = 0;
    Bytes data;
    ASSERT_TRUE(ReadSetting(name, stored, data, root)) << name;
    EXPECT_EQ(stored, type) << name;
    EXPECT_EQ(data, value) << name;
}

void ExpectFirstRunValues(HKEY root) {
    for (const char* name : {"自動変換", "NoReadOnly", "PALAutoLoad"}) {
        ExpectSetting(name, REG_BINARY, kZero4, root);
    }
    DWORD type = 0;
    Bytes data;
    EXPECT_FALSE(ReadSetting("PALFILENAME", type, data, root));
    EXPECT_FALSE(ReadSetting("PALNum", type, data, root));
}

TEST_F(Settings, AFirstRunRegistersTheKeyAndEndsWithoutAWindow) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere");
    for (const char* name : {kMainWindowClass, kPaletteGridClass, kConversionWindowClass}) {
        UnregisterClassA(name, AppInstance);
    }
    EXPECT_EQ(TintwrightMain(AppInstance, SW_SHOWNORMAL), 0);
    EXPECT_TRUE(OnlyRestartMessage());
    EXPECT_EQ(FindWindowA(kMainWindowClass, nullptr), nullptr);
    ExpectFirstRunValues(HKEY_LOCAL_MACHINE);
    UnregisterClassA(kConversionWindowClass, AppInstance);
    RegisterClasses();

    // The next start reads the three options and opens the window.
    Seams.messages.clear();
    AutoReduce = KeepReadOnly = PaletteAutoLoad = 5;
    EXPECT_TRUE(LoadSettings());
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(AutoReduce, 0u);
    EXPECT_EQ(KeepReadOnly, 0u);
    EXPECT_EQ(PaletteAutoLoad, 0u);
}

TEST_F(Settings, AMissingProductKeyAloneIsCreated) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere\\Tintwright");
    HKEY maker = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere", 0, KEY_READ, &maker),
              ERROR_SUCCESS);
    RegCloseKey(maker);
    EXPECT_FALSE(LoadSettings());
    EXPECT_TRUE(OnlyRestartMessage());
    ExpectFirstRunValues(HKEY_LOCAL_MACHINE);
}

TEST_F(Settings, PaletteValuesAreReadOnlyWithAutoLoadButAlwaysWritten) {
    char name[MAX_PATH] = "C:\\pal\\stored.pal";
    const DWORD count = 17;
    SetValue("PALFILENAME", REG_SZ, name, sizeof name);
    SetValue("PALNum", REG_DWORD, &count, 4);
    ASSERT_TRUE(LoadSettings());
    EXPECT_STREQ(PaletteFileName, "");
    EXPECT_EQ(FixedCount, 0);

    // Written at the end of the run with their current values and the stated lengths.
    std::strcpy(PaletteFileName, "D:\\new.pal");
    FixedCount = 3;
    AutoReduce = 1;
    SaveSettings();
    DWORD type = 0;
    Bytes data;
    ASSERT_TRUE(ReadSetting("PALFILENAME", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(data.size(), 260u);
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "D:\\new.pal");
    ExpectSetting("PALNum", REG_DWORD, {3, 0, 0, 0});
    ExpectSetting("自動変換", REG_BINARY, {1, 0, 0, 0});
    ExpectSetting("NoReadOnly", REG_BINARY, kZero4);

    // With PALAutoLoad stored as any non-zero value, the palette values are read.
    const DWORD two = 2;
    SetValue("PALAutoLoad", REG_BINARY, &two, 4);
    PaletteFileName[0] = '\0';
    FixedCount = 0;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(PaletteAutoLoad, 2u);
    EXPECT_STREQ(PaletteFileName, "D:\\new.pal");
    EXPECT_EQ(FixedCount, 3);
}

TEST_F(Settings, ValuesTooLongForTheirVariableAreLeftAlone) {
    const Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};
    SetValue("NoReadOnly", REG_BINARY, eight.data(), 8);
    KeepReadOnly = 0;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(KeepReadOnly, 0u);
}

TEST_F(Settings, UsersWhoCannotWriteTheMachineKeyKeepTheirOwn) {
    MachineKeyWritable = [] { return false; };
    EXPECT_FALSE(LoadSettings()); // first run for this user
    EXPECT_TRUE(OnlyRestartMessage());
    ExpectFirstRunValues(HKEY_CURRENT_USER);
    Seams.messages.clear();
    ASSERT_TRUE(LoadSettings()); // and never again
    EXPECT_TRUE(Seams.messages.empty());
    KeepReadOnly = 1;
    SaveSettings();
    ExpectSetting("NoReadOnly", REG_BINARY, {1, 0, 0, 0}, HKEY_CURRENT_USER);
    ExpectSetting("NoReadOnly", REG_BINARY, kZero4, HKEY_LOCAL_MACHINE);
}

// The options dialog, run from the main window's command.
HWND Main;
std::vector<int> Checks;
void OpenOptions() {
    SendMessageA(Main, WM_COMMAND, IDM_OPTIONS, 0);
}
int Checked(HWND d, int id) {
    return static_cast<int>(SendDlgItemMessageA(d, id, BM_GETCHECK, 0, 0));
}
void ReadChecks(HWND d) {
    Checks = {Checked(d, IDC_AUTO256), Checked(d, IDC_NOREADONLY), Checked(d, IDC_PALAUTOLOAD)};
}
void ToggleAll(HWND d) {
    for (int id : {IDC_AUTO256, IDC_NOREADONLY, IDC_PALAUTOLOAD}) {
        SendDlgItemMessageA(d, id, BM_CLICK, 0, 0);
    }
}

TEST_F(Settings, OptionsDialogOkStoresOneOrZeroAndCancelKeepsEverything) {
    Main = CreateMainWindow(200, 100);
    AutoReduce = 2;
    KeepReadOnly = 0;
    PaletteAutoLoad = 7;
    RunDialog(OpenOptions, {ReadChecks, [](HWND d) {
                                SendDlgItemMessageA(d, IDC_NOREADONLY, BM_CLICK, 0, 0);
                                SendMessageA(d, WM_COMMAND, IDOK, 0);
                            }});
    EXPECT_EQ(Checks, (std::vector<int>{BST_CHECKED, BST_UNCHECKED, BST_CHECKED}));
    EXPECT_EQ(AutoReduce, 1u);
    EXPECT_EQ(KeepReadOnly, 1u);
    EXPECT_EQ(PaletteAutoLoad, 1u);

    for (auto close : {+[](HWND d) { SendMessageA(d, WM_COMMAND, IDCANCEL, 0); },
                       +[](HWND d) { SendMessageA(d, WM_CLOSE, 0, 0); }}) {
        RunDialog(OpenOptions, {ToggleAll, close});
        EXPECT_EQ(AutoReduce, 1u);
        EXPECT_EQ(KeepReadOnly, 1u);
        EXPECT_EQ(PaletteAutoLoad, 1u);
    }
    // Esc reaches the dialog as Cancel.
    RunDialog(OpenOptions, {ToggleAll, [](HWND d) {
                                PostMessageA(GetFocus() ? GetFocus() : d, WM_KEYDOWN, VK_ESCAPE, 0);
                            }});
    EXPECT_EQ(AutoReduce, 1u);
    DestroyWindow(Main);
}

// A check box's text fits beside its box: none is clipped under the fonts used here.
TEST_F(Settings, EveryOptionTextFitsItsCheckBox) {
    Main = CreateMainWindow(200, 100);
    std::vector<std::string> clipped;
    RunDialog(OpenOptions, {[&](HWND d) {
                  for (int id : {IDC_AUTO256, IDC_NOREADONLY, IDC_PALAUTOLOAD, IDC_NOUNSAVEDPROMPT,
                                 IDC_QUIETRUNS}) {
                      HWND box = GetDlgItem(d, id);
                      char text[64] = "";
                      GetWindowTextA(box, text, sizeof text);
                      HDC dc = GetDC(box);
                      HGDIOBJ old = SelectObject(
                          dc, reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
                      SIZE extent = {};
                      GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
                      SelectObject(dc, old);
                      ReleaseDC(box, dc);
                      RECT client;
                      GetClientRect(box, &client);
                      // The box, the gap after it, the text.
                      if (GetSystemMetrics(SM_CXMENUCHECK) + 4 + extent.cx > client.right) {
                          clipped.push_back(text);
                      }
                  }
                  SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
              }});
    EXPECT_TRUE(clipped.empty()) << clipped.front();
    DestroyWindow(Main);
}

} // namespace

namespace {

void OpenQuality() {
    SendMessageA(Main, WM_COMMAND, IDM_QUALITY, 0);
}
// The choices of 高画質の設定 in force: colours, dithering, strength, key colour.
std::vector<DWORD> Quality() {
    return {QualityColours, QualityDither, QualityStrength, QualityKey};
}

// The number of the dithering the dialog's list shows, and a choice in it as a click makes it.
LRESULT ShownDithering(HWND d) {
    const LRESULT item = SendDlgItemMessageA(d, IDC_DITHER, CB_GETCURSEL, 0, 0);
    return SendDlgItemMessageA(d, IDC_DITHER, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
}
void ChooseDithering(HWND d, LRESULT number) {
    const LRESULT count = SendDlgItemMessageA(d, IDC_DITHER, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        if (SendDlgItemMessageA(d, IDC_DITHER, CB_GETITEMDATA, static_cast<WPARAM>(item), 0) ==
            number) {
            SendDlgItemMessageA(d, IDC_DITHER, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        }
    }
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_DITHER, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_DITHER)));
}

// The texts of a list, in its order, and a choice in it as a click makes it.
std::vector<std::string> ListTexts(HWND d, int id) {
    std::vector<std::string> texts;
    const LRESULT count = SendDlgItemMessageA(d, id, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        char text[64] = {};
        SendDlgItemMessageA(d, id, CB_GETLBTEXT, static_cast<WPARAM>(item),
                            reinterpret_cast<LPARAM>(text));
        texts.push_back(text);
    }
    return texts;
}
void Choose(HWND d, int id, WPARAM item) {
    SendDlgItemMessageA(d, id, CB_SETCURSEL, item, 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
}

// 高画質の設定: what it shows, what OK keeps (held to the ranges) and Cancel does not; the four
// values read at start-up (out of range: the defaults) and written at the end of the run.
TEST_F(Settings, QualityDialogAndNewerOptionsKeepTheirChoicesInTheRegistry) {
    for (const auto& [name, value] :
         {std::pair{"HQColours", DWORD{300}}, {"HQDither", 1}, {"HQStrength", 40}, {"HQKey", 1}}) {
        SetDword(name, value);
    }
    ASSERT_TRUE(LoadSettings());
    const std::vector<DWORD> loaded = {256, 1, 40, 1}; // the colours out of range
    EXPECT_EQ(Quality(), loaded);

    Main = CreateMainWindow(200, 100);
    long shownColours = 0, stepped = 0;
    BOOL strengthOpen = TRUE;
    std::vector<int> focusAfterRefusal; // the field that has the focus after each refusal
    const auto refusedOk = [&](HWND d) {
        SendMessageA(d, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindowVisible(d)); // still open, nothing kept
        EXPECT_EQ(Quality(), loaded);
        focusAfterRefusal.push_back(GetDlgCtrlID(GetFocus()));
    };
    Seams.messages.clear();
    RunDialog(OpenQuality, {[&](HWND d) {
                                shownColours = ReadNumberField(d, IDC_COLOURS);
                                strengthOpen = IsWindowEnabled(GetDlgItem(d, IDC_STRENGTH));
                                EXPECT_EQ(ShownDithering(d), 1);
                                EXPECT_EQ(IsDlgButtonChecked(d, IDC_KEYCOLOUR), BST_CHECKED);
                                // The arrow keys keep to the range: up from 256 stays, then two
                                // steps down.
                                for (const WPARAM arrow : {VK_UP, VK_DOWN, VK_DOWN}) {
                                    SendDlgItemMessageA(d, IDC_COLOURS, WM_KEYDOWN, arrow, 0);
                                }
                                stepped = ReadNumberField(d, IDC_COLOURS);
                                // A click on 誤差拡散, a strength out of range: OK says so.
                                ChooseDithering(d, 0);
                                EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_STRENGTH)));
                                SetDlgItemTextA(d, IDC_STRENGTH, "250");
                                SendDlgItemMessageA(d, IDC_KEYCOLOUR, BM_CLICK, 0, 0);
                                refusedOk(d);
                                // Colours out of range, above and below.
                                SetDlgItemTextA(d, IDC_STRENGTH, "40");
                                SetDlgItemTextA(d, IDC_COLOURS, "300");
                                refusedOk(d);
                                SetDlgItemTextA(d, IDC_COLOURS, "1");
                                refusedOk(d);
                            },
                            [&](HWND d) {
                                SetDlgItemTextA(d, IDC_COLOURS, "254");
                                SendMessageA(d, WM_COMMAND, IDOK, 0);
                            }});
    EXPECT_EQ(shownColours, 256);
    EXPECT_EQ(stepped, 254);
    EXPECT_FALSE(strengthOpen); // only 誤差拡散 has a strength
    for (const auto& m : Seams.messages) {
        EXPECT_EQ(m.type, static_cast<UINT>(MB_ICONWARNING));
    }
    EXPECT_EQ(Told(), (std::vector<std::string>{"強さは0～100で指定してください",
                                                "色数は2～256で指定してください",
                                                "色数は2～256で指定してください"}));
    EXPECT_EQ(focusAfterRefusal, (std::vector<int>{IDC_STRENGTH, IDC_COLOURS, IDC_COLOURS}));
    const std::vector<DWORD> chosen = {254, 0, 40, 0};
    EXPECT_EQ(Quality(), chosen);
    RunDialog(OpenQuality, {[](HWND d) {
                  SetDlgItemTextA(d, IDC_COLOURS, "1");
                  ChooseDithering(d, 2);
                  SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
              }});
    EXPECT_EQ(Quality(), chosen);
    // The options dialog's two newer boxes are kept the same way.
    RunDialog(OpenOptions, {[](HWND d) {
                  SendDlgItemMessageA(d, IDC_NOUNSAVEDPROMPT, BM_CLICK, 0, 0);
                  SendDlgItemMessageA(d, IDC_QUIETRUNS, BM_CLICK, 0, 0);
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    EXPECT_EQ(NoUnsavedPrompt, 1u);
    EXPECT_EQ(QuietRuns, 1u);
    DestroyWindow(Main);

    QualityColours = 16;
    QualityDither = 2;
    SaveSettings();
    for (const auto& [name, value] : {std::pair{"HQColours", 16},
                                      {"HQDither", 2},
                                      {"HQStrength", 40},
                                      {"HQKey", 0},
                                      {"NoUnsavedPrompt", 1},
                                      {"QuietRuns", 1}}) {
        ExpectSetting(name, REG_DWORD, {static_cast<std::uint8_t>(value), 0, 0, 0});
    }
}

// The list of ditherings: every one, error diffusion first, by the program's names; a choice
// is kept by its number with the light, and the two read back (an unknown number as the
// first, Floyd-Steinberg's), and they make the run's stages and choices. The strength and the
// light are open for error diffusion only.
TEST_F(Settings, QualityDialogListsEveryDitheringAndKeepsItsNumberAndLight) {
    ASSERT_TRUE(LoadSettings());
    Main = CreateMainWindow(200, 100);
    std::vector<std::string> listed;
    std::vector<BOOL> open; // strength and light, with a pattern and with a kernel
    RunDialog(OpenQuality, {[&](HWND d) {
                  listed = ListTexts(d, IDC_DITHER);
                  for (const LRESULT number : {13, 3}) {
                      ChooseDithering(d, number);
                      open.push_back(IsWindowEnabled(GetDlgItem(d, IDC_STRENGTH)));
                      open.push_back(IsWindowEnabled(GetDlgItem(d, IDC_LINEAR)));
                  }
                  SendDlgItemMessageA(d, IDC_LINEAR, BM_CLICK, 0, 0);
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    DestroyWindow(Main);
    EXPECT_EQ(listed,
              (std::vector<std::string>{
                  "誤差拡散（フロイド-スタインバーグ）", "誤差拡散（アトキンソン）",
                  "誤差拡散（シエラ）", "誤差拡散（シエラ2行）", "誤差拡散（シエラ・ライト）",
                  "誤差拡散（ジャービス-ジュディス-ニンケ）", "誤差拡散（スタッキ）",
                  "誤差拡散（バークス）", "網点（2×2）", "網点（4×4）", "網点（8×8）",
                  "網点（16×16）", "網点（ブルーノイズ）", "なし"}));
    EXPECT_EQ(open, (std::vector<BOOL>{FALSE, FALSE, TRUE, TRUE}));
    EXPECT_EQ(QualityDither, 3u);
    EXPECT_EQ(QualityLinear, 1u);
    EXPECT_EQ(QualityStages().dither, quantize::DitherMethod::Kernel);
    EXPECT_EQ(QualityChoices().kernel, quantize::KernelName::Atkinson);
    EXPECT_TRUE(QualityChoices().linear);

    SaveSettings();
    ExpectSetting("HQDither", REG_DWORD, {3, 0, 0, 0});
    ExpectSetting("HQLinear", REG_DWORD, {1, 0, 0, 0});
    QualityDither = QualityLinear = 0;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityDither, 3u);
    EXPECT_EQ(QualityLinear, 1u);
    for (const auto& [name, value] : {std::pair{"HQDither", DWORD{14}}, {"HQLinear", 2}}) {
        SetDword(name, value);
    }
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityDither, 0u);
    EXPECT_EQ(QualityLinear, 0u);
    QualityDither = 13;
    EXPECT_EQ(QualityStages().dither, quantize::DitherMethod::Ordered);
    EXPECT_EQ(QualityChoices().pattern, quantize::PatternName::BlueNoise);
}

// 品質: 速い, 標準 and 最高, the effort in force chosen (標準 at first, and for a value out of
// range), open with error diffusion only; OK keeps the choice as HQEffort and the run's
// choices take it, Cancel does not; an effort the list does not show is kept as it is.
TEST_F(Settings, QualityDialogKeepsItsQualityAsAnEffort) {
    SetDword("HQEffort", 11);
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityEffort, 5u);
    Main = CreateMainWindow(200, 100);
    std::vector<std::string> listed;
    std::vector<LRESULT> shown;
    std::vector<BOOL> open; // with a pattern, then with a kernel
    const auto chooseEffort = [](HWND d, LRESULT effort) {
        for (LRESULT item = 0; item < 3; ++item) {
            if (SendDlgItemMessageA(d, IDC_EFFORT, CB_GETITEMDATA, static_cast<WPARAM>(item), 0) ==
                effort) {
                SendDlgItemMessageA(d, IDC_EFFORT, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
            }
        }
    };
    const auto shownEffort = [](HWND d) {
        const LRESULT item = SendDlgItemMessageA(d, IDC_EFFORT, CB_GETCURSEL, 0, 0);
        return item == CB_ERR ? LRESULT{0}
                              : SendDlgItemMessageA(d, IDC_EFFORT, CB_GETITEMDATA,
                                                    static_cast<WPARAM>(item), 0);
    };
    RunDialog(OpenQuality, {[&](HWND d) {
                  listed = ListTexts(d, IDC_EFFORT);
                  EXPECT_EQ(SendDlgItemMessageA(d, IDC_EFFORT, CB_GETCOUNT, 0, 0), 3);
                  shown.push_back(shownEffort(d));
                  for (const LRESULT number : {1, 0}) {
                      ChooseDithering(d, number);
                      open.push_back(IsWindowEnabled(GetDlgItem(d, IDC_EFFORT)));
                  }
                  chooseEffort(d, 10);
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    EXPECT_EQ(listed, (std::vector<std::string>{"速い", "標準", "最高"}));
    EXPECT_EQ(open, (std::vector<BOOL>{FALSE, TRUE}));
    EXPECT_EQ(QualityEffort, 10u);
    EXPECT_EQ(QualityChoices().effort, 10);
    RunDialog(OpenQuality, {[&](HWND d) {
                  shown.push_back(shownEffort(d));
                  chooseEffort(d, 1);
                  SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
              }});
    EXPECT_EQ(QualityEffort, 10u);
    SaveSettings();
    ExpectSetting("HQEffort", REG_DWORD, {10, 0, 0, 0});
    SetDword("HQEffort", 7);
    ASSERT_TRUE(LoadSettings());
    RunDialog(OpenQuality, {[&](HWND d) {
                  shown.push_back(shownEffort(d));
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    DestroyWindow(Main);
    EXPECT_EQ(shown, (std::vector<LRESULT>{5, 10, 0}));
    EXPECT_EQ(QualityEffort, 7u);
}

// 色の深さ, ビット数 and 選択元パレット: stored values out of range read as the defaults; the
// dialog lists the choices, a ビット数 of fewer colours than 色数 lowers it with a word, 参照
// fills the field from the palette open dialog; OK keeps them, the run's choices take the
// depth and no more colours than the bits hold, and they are written back.
TEST_F(Settings, QualityDialogKeepsTheDepthTheBitsAndTheListToChooseFrom) {
    for (const auto& [name, value] : {std::pair{"HQDepth", DWORD{7}}, {"HQBits", 5}}) {
        SetDword(name, value);
    }
    char stored[MAX_PATH] = "gameboy";
    SetValue("HQFrom", REG_SZ, stored, sizeof stored);
    QualityDepth = QualityBits = 3;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityDepth, 0u);
    EXPECT_EQ(QualityBits, 0u);
    EXPECT_STREQ(QualityFrom, "gameboy");
    EXPECT_EQ(QualityChoices().depth, (std::array<int, 3>{8, 8, 8}));
    EXPECT_EQ(QualityChoices().colours, 256);

    Main = CreateMainWindow(200, 100);
    const std::string chosen = TempPath("master.gpl");
    Seams.dialogPath = chosen;
    std::vector<std::string> depths, bits;
    std::string fromShown, fromBrowsed;
    long lowered = 0;
    RunDialog(OpenQuality, {[&](HWND d) {
                  depths = ListTexts(d, IDC_DEPTH);
                  bits = ListTexts(d, IDC_BITS);
                  char text[MAX_PATH] = "";
                  GetDlgItemTextA(d, IDC_FROMFILE, text, sizeof text);
                  fromShown = text;
                  Choose(d, IDC_DEPTH, 2);
                  Choose(d, IDC_BITS, 1); // 4 bits: 16 colours at most
                  lowered = ReadNumberField(d, IDC_COLOURS);
                  SendDlgItemMessageA(d, IDC_FROMBROWSE, BM_CLICK, 0, 0);
                  GetDlgItemTextA(d, IDC_FROMFILE, text, sizeof text);
                  fromBrowsed = text;
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    DestroyWindow(Main);
    EXPECT_EQ(depths, (std::vector<std::string>{"フル (8-8-8)", "15-bit (5-5-5)", "16-bit (5-6-5)",
                                                "12-bit (4-4-4)", "9-bit (3-3-3)", "6-bit (2-2-2)",
                                                "8-bit (3-3-2)"}));
    EXPECT_EQ(bits, (std::vector<std::string>{"8", "4", "2", "1", "自動"}));
    EXPECT_EQ(fromShown, "gameboy");
    EXPECT_EQ(lowered, 16);
    ASSERT_EQ(Seams.messages.size(), 1u);
    EXPECT_EQ(Seams.messages[0].text, "ビット数に合わせて色数を下げました");
    EXPECT_EQ(Seams.messages[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    EXPECT_TRUE(Seams.dialogs[0].open);
    EXPECT_EQ(fromBrowsed, chosen);
    EXPECT_EQ((std::vector<DWORD>{QualityDepth, QualityBits, QualityColours}),
              (std::vector<DWORD>{2, 1, 16}));
    EXPECT_STREQ(QualityFrom, chosen.c_str());
    EXPECT_EQ(QualityChoices().depth, (std::array<int, 3>{5, 6, 5}));

    // 1 bit holds two colours, whatever 色数 the registry held.
    QualityBits = 3;
    QualityColours = 256;
    EXPECT_EQ(QualityChoices().colours, 2);
    SaveSettings();
    ExpectSetting("HQDepth", REG_DWORD, {2, 0, 0, 0});
    ExpectSetting("HQBits", REG_DWORD, {3, 0, 0, 0});
    DWORD type = 0;
    Bytes data;
    ASSERT_TRUE(ReadSetting("HQFrom", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), chosen.c_str());
}

// タイルの設定's values: read at start-up, one out of its range as its default, numbers that
// make no rule together all as the defaults, a device whose rule they are not as カスタム
// (whose depth is 高画質の設定's); written at the end of the run.
TEST_F(Settings, TileSettingsPersistAndBadValuesFallBack) {
    using Numbers = std::vector<DWORD>;
    const auto load = [&](std::vector<std::pair<const char*, DWORD>> values, const char* target) {
        for (const auto& [name, value] : values) {
            SetDword(name, value);
        }
        SetValue("TileTarget", REG_SZ, target, static_cast<DWORD>(std::strlen(target) + 1));
        EXPECT_TRUE(LoadSettings());
        return Numbers{TileWidth, TileHeight, TilePalettes, TileSize, TileShared};
    };
    const tiles::TileShape gba = tiles::FindTarget("gba")->shape;
    const Numbers gbaNumbers = {DWORD(gba.width), DWORD(gba.height), DWORD(gba.palettes),
                                DWORD(gba.size), DWORD(gba.shared)};
    EXPECT_EQ(load({{"TileWidth", gbaNumbers[0]},
                    {"TileHeight", gbaNumbers[1]},
                    {"TilePalettes", gbaNumbers[2]},
                    {"TileSize", gbaNumbers[3]},
                    {"TileShared", gbaNumbers[4]}},
                   "gba"),
              gbaNumbers);
    EXPECT_STREQ(TileTarget, "gba");
    EXPECT_EQ(TileShapeSetting(), gba);

    EXPECT_EQ(
        load({{"TileWidth", 16}, {"TileHeight", 4}, {"TilePalettes", 4}, {"TileSize", 16}}, "gba"),
        (Numbers{16, 4, 4, 16, gbaNumbers[4]}));
    EXPECT_STREQ(TileTarget, "");
    QualityDepth = 2; // 5-6-5: a custom rule takes 高画質の設定's depth
    EXPECT_EQ(TileShapeSetting().depth, (std::array<int, 3>{5, 6, 5}));
    EXPECT_EQ(load({{"TileWidth", 0}, {"TileHeight", 257}}, "no such device"),
              (Numbers{8, 8, 4, 16, gbaNumbers[4]}));
    EXPECT_STREQ(TileTarget, "");

    const Numbers defaults = {8, 8, 8, 16, 1};
    EXPECT_EQ(load({{"TilePalettes", 32}}, ""), defaults); // 512 entries
    EXPECT_EQ(load({{"TilePalettes", 4}, {"TileSize", 4}, {"TileShared", 5}}, ""), defaults);
    EXPECT_EQ(load({{"TileSize", 1}, {"TileShared", 300}}, ""), (Numbers{8, 8, 4, 16, 1}));

    TileWidth = 4;
    TileShared = 0;
    TileTarget[0] = '\0';
    SaveSettings();
    ExpectSetting("TileWidth", REG_DWORD, {4, 0, 0, 0});
    ExpectSetting("TileShared", REG_DWORD, kZero4);
    ExpectSetting("TileTarget", REG_SZ, {0});
}

void OpenTiles() {
    SendMessageA(Main, WM_COMMAND, IDM_TILES, 0);
}
std::vector<long> TileFields(HWND d) {
    std::vector<long> numbers;
    for (const int id :
         {IDC_TILEWIDTH, IDC_TILEHEIGHT, IDC_PALETTES, IDC_PALETTESIZE, IDC_SHARED}) {
        numbers.push_back(ReadNumberField(d, id));
    }
    return numbers;
}

// タイルの設定 lists the devices and カスタム; a device fills the fields with its rule; OK tells
// what is wrong with numbers that make no rule, with the focus on the field to type again, and
// keeps the dialog open; a device stays chosen only while the fields are its rule.
TEST_F(Settings, TileDialogPresetsFillTheFieldsAndBadRulesAreTold) {
    Main = CreateMainWindow(200, 100);
    TileWidth = 16;
    TileTarget[0] = '\0';
    const tiles::TileShape gba = tiles::FindTarget("gba")->shape;
    const auto gbaItem = static_cast<WPARAM>(tiles::FindTarget("gba") - tiles::kTargets);
    std::vector<std::string> names;
    LRESULT shownItem = 0;
    std::vector<long> shown, filled;
    std::vector<int> focus;
    const auto refused = [&](HWND d, int id, const char* text) {
        SetDlgItemTextA(d, id, text);
        SendMessageA(d, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindowVisible(d));
        focus.push_back(GetDlgCtrlID(GetFocus()));
    };
    Seams.messages.clear();
    RunDialog(OpenTiles, {[&](HWND d) {
                  names = ListTexts(d, IDC_TARGET);
                  shownItem = SendDlgItemMessageA(d, IDC_TARGET, CB_GETCURSEL, 0, 0);
                  shown = TileFields(d);
                  Choose(d, IDC_TARGET, gbaItem);
                  filled = TileFields(d);
                  refused(d, IDC_PALETTES, "32");
                  SetDlgItemTextA(d, IDC_PALETTES, std::to_string(gba.palettes).c_str());
                  refused(d, IDC_SHARED, std::to_string(gba.size + 1).c_str());
                  SetDlgItemTextA(d, IDC_SHARED, std::to_string(gba.shared).c_str());
                  refused(d, IDC_TILEHEIGHT, "0");
                  SetDlgItemTextA(d, IDC_TILEHEIGHT, std::to_string(gba.height).c_str());
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    std::vector<std::string> devices;
    for (int k = 0; k < tiles::kTargetCount; ++k) {
        devices.emplace_back(tiles::kTargets[k].name);
    }
    devices.push_back("カスタム");
    EXPECT_EQ(names, devices);
    EXPECT_EQ(shownItem, tiles::kTargetCount);
    EXPECT_EQ(shown, (std::vector<long>{16, 8, 8, 16, 1}));
    EXPECT_EQ(filled,
              (std::vector<long>{gba.width, gba.height, gba.palettes, gba.size, gba.shared}));
    EXPECT_EQ(Told(), (std::vector<std::string>{"パレット数×色数/パレットは256以下にしてください",
                                                "共通色は0～色数/パレットで指定してください",
                                                "タイルの大きさは1～256で指定してください"}));
    EXPECT_EQ(focus, (std::vector<int>{IDC_PALETTESIZE, IDC_SHARED, IDC_TILEHEIGHT}));
    EXPECT_STREQ(TileTarget, "gba");
    EXPECT_EQ(TileShapeSetting(), gba);

    // Numbers of the user's own: カスタム, and Cancel keeps what OK kept.
    RunDialog(OpenTiles, {[](HWND d) {
                  SetDlgItemTextA(d, IDC_PALETTES, "2");
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    EXPECT_STREQ(TileTarget, "");
    EXPECT_EQ(TilePalettes, 2u);
    RunDialog(OpenTiles, {[&](HWND d) {
                  Choose(d, IDC_TARGET, gbaItem);
                  SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
              }});
    EXPECT_STREQ(TileTarget, "");
    EXPECT_EQ(TilePalettes, 2u);
    DestroyWindow(Main);
}

// 並び順: a stored order out of range reads as そのまま; the dialog lists the orders, OK keeps
// the chosen one, the run's choices take it and it is written back.
TEST_F(Settings, QualityDialogKeepsTheEntriesOrder) {
    SetDword("HQOrder", 4);
    QualityOrder = 2;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityOrder, 0u);
    EXPECT_EQ(QualityChoices().order, quantize::EntryOrder::Keep);

    Main = CreateMainWindow(200, 100);
    std::vector<std::string> orders;
    RunDialog(OpenQuality, {[&](HWND d) {
                  orders = ListTexts(d, IDC_ORDER);
                  Choose(d, IDC_ORDER, 2);
                  SendMessageA(d, WM_COMMAND, IDOK, 0);
              }});
    DestroyWindow(Main);
    EXPECT_EQ(orders, (std::vector<std::string>{"そのまま", "頻度順", "明るさ順", "色相順"}));
    EXPECT_EQ(QualityChoices().order, quantize::EntryOrder::Luminance);
    SaveSettings();
    ExpectSetting("HQOrder", REG_DWORD, {2, 0, 0, 0});
    QualityOrder = 0;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityChoices().order, quantize::EntryOrder::Luminance);
}

// 透明度を保つ: a stored value out of range reads as off; the dialog's check box shows the
// setting, OK keeps it, ｷｬﾝｾﾙ does not, and it is written back as HQAlpha.
TEST_F(Settings, QualityDialogKeepsTransparency) {
    SetDword("HQAlpha", 2);
    QualityAlpha = 1;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityAlpha, 0u);

    Main = CreateMainWindow(200, 100);
    for (const int button : {IDCANCEL, IDOK}) {
        RunDialog(OpenQuality, {[&](HWND d) {
                      EXPECT_EQ(IsDlgButtonChecked(d, IDC_KEEPALPHA), BST_UNCHECKED);
                      SendDlgItemMessageA(d, IDC_KEEPALPHA, BM_CLICK, 0, 0);
                      SendMessageA(d, WM_COMMAND, static_cast<WPARAM>(button), 0);
                  }});
    }
    DestroyWindow(Main);
    EXPECT_EQ(QualityAlpha, 1u);
    SaveSettings();
    ExpectSetting("HQAlpha", REG_DWORD, {1, 0, 0, 0});
    QualityAlpha = 0;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(QualityAlpha, 1u);
}

} // namespace
