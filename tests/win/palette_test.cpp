// The palette grid read back as pixels, the palette dialog driven through real messages, and
// palette files on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/bmp/layout.h"
#include "win/app/shell.h"
#include "win/app/settings.h"
#include "win/document/file_io.h"
#include "win/palette/palette_dialog.h"
#include "win/palette/palette_grid.h"
#include "win/palette/user_palette.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"
#include "core/quantize/basic_palette.h"
#include "tests/support/bmp_builder.h"

namespace {

std::vector<WPARAM> Selected;
LRESULT CALLBACK GridParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == UM_SELECTENTRY) {
        Selected.push_back(wp);
        return 1;
    }
    return DefWindowProcA(w, m, wp, lp);
}

void SetEntry(HGLOBAL table, int n, int r, int g, int b) {
    auto* e = static_cast<BYTE*>(GlobalLock(table));
    e[4 * n] = static_cast<BYTE>(b);
    e[4 * n + 1] = static_cast<BYTE>(g);
    e[4 * n + 2] = static_cast<BYTE>(r);
    GlobalUnlock(table);
}

class PaletteGrid : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Selected.clear();
        WNDCLASSA record = {};
        record.lpfnWndProc = GridParentProc;
        record.hInstance = AppInstance;
        record.lpszClassName = "TW_GRID_PARENT";
        RegisterClassA(&record);
        parent_ = CreateWindowExA(0, "TW_GRID_PARENT", "grid", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                  0, 400, 400, nullptr, nullptr, AppInstance, nullptr);
        RECT rect = {10, 10, 281, 281};
        AdjustWindowRectEx(&rect, WS_CHILD | WS_BORDER, FALSE, WS_EX_ACCEPTFILES);
        grid_ = CreateWindowExA(WS_EX_ACCEPTFILES, kPaletteGridClass, kAppTitle,
                                WS_CHILD | WS_BORDER | WS_VISIBLE, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent_, nullptr,
                                AppInstance, nullptr);
        SavedPalette = NewPaletteTable();
        table_ = NewPaletteTable();
        UpdateWindow(grid_);
        PumpPending();
    }
    void TearDown() override {
        DestroyWindow(parent_);
        GlobalFree(table_);
        ProgramTest::TearDown();
    }
    Capture Paint() const { return ::Paint(grid_); }
    HWND parent_ = nullptr, grid_ = nullptr;
    HGLOBAL table_ = nullptr;
};

// Nothing is drawn before a table is shown; an all-zero table is a black square; a changed
// entry repaints only its swatch.
TEST_F(PaletteGrid, AnAllZeroTableIsABlackSquareAndEntriesRepaintAlone) {
    const Capture before = Paint();
    ASSERT_EQ(before.width, 271);
    ASSERT_EQ(before.height, 271);
    EXPECT_EQ(before.At(0, 0), BackgroundPixel());
    EXPECT_EQ(before.At(16, 16), BackgroundPixel());
    SendMessageA(grid_, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(table_));
    EXPECT_EQ(Paint().Misses(271, 271, [](int, int) { return 0u; }), 0);

    // Entry 17 turns pure blue (colour reference 0x00FF0000); only its swatch is marked.
    SetEntry(table_, 17, 0, 0, 255);
    SendMessageA(grid_, UM_CELLCHANGED, 17, 0);
    RECT update;
    const RECT swatch = {17, 17, 33, 33};
    ASSERT_TRUE(GetUpdateRect(grid_, &update, FALSE));
    EXPECT_TRUE(EqualRect(&update, &swatch));
    EXPECT_EQ(Paint().Misses(271, 271,
                             [&](int x, int y) {
                                 const POINT at = {x, y};
                                 return PtInRect(&swatch, at) ? 0x0000FFu : 0u;
                             }),
              0);

    // An entry number beyond 255 names no swatch.
    SendMessageA(grid_, UM_CELLCHANGED, 300, 0);
    EXPECT_FALSE(GetUpdateRect(grid_, &update, FALSE));
}

TEST_F(PaletteGrid, ANewTableRepaintsTheWholeGrid) {
    SendMessageA(grid_, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(table_));
    Paint();
    HGLOBAL other = NewPaletteTable();
    for (int n = 0; n < 256; ++n) {
        SetEntry(other, n, n, 255 - n, 7);
    }
    SendMessageA(grid_, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(other));
    const Capture shot = Paint();
    EXPECT_EQ(shot.At(0, 0), 0x00FF07u);                     // entry 0
    EXPECT_EQ(shot.At(17 * 15 + 3, 17 * 15 + 3), 0xFF0007u); // entry 255
    EXPECT_EQ(shot.At(5, 16), 0u);                           // a line
    DestroyWindow(grid_);
    grid_ = nullptr;
    GlobalFree(other);
}

TEST_F(PaletteGrid, TheMarkedEntryIsFramedAndTheFrameMoves) {
    for (int n = 0; n < 256; ++n) {
        SetEntry(table_, n, 200, 40, 40);
    }
    SendMessageA(grid_, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(table_));
    SendMessageA(grid_, UM_MARKENTRY, 17, 0);
    Capture shot = Paint();
    // Entry 17's swatch is 17..32: the lines around it white, its edge black, its middle
    // its colour.
    EXPECT_EQ(shot.At(16, 24), 0xFFFFFFu);
    EXPECT_EQ(shot.At(24, 33), 0xFFFFFFu);
    EXPECT_EQ(shot.At(17, 24), 0u);
    EXPECT_EQ(shot.At(24, 24), 0xC82828u);
    EXPECT_EQ(shot.At(50, 24), 0u); // another entry's line
    SendMessageA(grid_, UM_MARKENTRY, 0, 0);
    shot = Paint();
    EXPECT_EQ(shot.At(16, 24), 0u);
    EXPECT_EQ(shot.At(17, 24), 0xC82828u);
    EXPECT_EQ(shot.At(16, 8), 0xFFFFFFu);
}

TEST_F(PaletteGrid, ClicksReportTheEntryUnderThePointer) {
    for (auto [x, y] : {std::pair{0, 0}, {16, 16}, {17, 0}, {0, 17}, {270, 270}}) {
        SendMessageA(grid_, WM_LBUTTONDOWN, 0, MAKELPARAM(x, y));
    }
    EXPECT_EQ(Selected, (std::vector<WPARAM>{0, 0, 1, 16, 255}));
}

// The palette dialog, run modally by a timer that drives it.
class PaletteDialog : public ProgramTest {
  protected:
    static void Show() { RunPaletteDialog(nullptr); }
    // Opens the dialog and performs `step` on it, which ends it.
    static void InDialog(const DialogStep& step) { RunDialog(Show, {step}); }
};

std::string Field(HWND dialog, int id) {
    char text[MAX_PATH] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
void Spin(HWND dialog, int bar, int code) {
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(code, 0),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, bar)));
}
void Click(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
// Types `path` into the file field and clicks `button` (load, save or browse).
void WithFile(HWND dialog, const std::string& path, int button) {
    SetDlgItemTextA(dialog, IDC_PALFILE, path.c_str());
    Click(dialog, button);
}

Bytes PlainFile(int firstRed) {
    Bytes file(768);
    for (int i = 0; i < 768; ++i) {
        file[i] = static_cast<std::uint8_t>(i * 5 + 1);
    }
    file[0] = static_cast<std::uint8_t>(firstRed);
    file[1] = 0;
    file[2] = 0;
    return file;
}

// What the steps saw, for the test body to check after the dialog ended.
struct Seen {
    std::string file, used, index, red, green, blue;
    RECT gridClient{}, gridWindow{};
    LONG loadBottom = 0;
    Bytes edit;
} Saw;

void Record(HWND dialog) {
    Saw.file = Field(dialog, IDC_PALFILE);
    Saw.used = Field(dialog, IDC_USED);
    Saw.index = Field(dialog, IDC_INDEX);
    Saw.red = Field(dialog, IDC_RED);
    Saw.green = Field(dialog, IDC_GREEN);
    Saw.blue = Field(dialog, IDC_BLUE);
    HWND grid = FindWindowExA(dialog, nullptr, kPaletteGridClass, nullptr);
    GetClientRect(grid, &Saw.gridClient);
    GetWindowRect(grid, &Saw.gridWindow);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&Saw.gridWindow), 2);
    RECT load;
    GetWindowRect(GetDlgItem(dialog, IDC_PALLOAD), &load);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&load), 2);
    Saw.loadBottom = load.bottom;
    if (EditPalette != nullptr) {
        Saw.edit = TableBytes(EditPalette);
    }
}

TEST_F(PaletteDialog, FirstOpeningReadsTheFileAndCancelKeepsTheTable) {
    const std::string path = Write(PlainFile(255), "first.pal");
    std::snprintf(PaletteFileName, MAX_PATH, "%s", path.c_str());
    FixedCount = 9;
    RunDialog(Show, {Record, [&](HWND d) { Click(d, IDCANCEL); }});
    // The name and the count in force, also without PaletteAutoLoad: OK must not clear them.
    EXPECT_EQ(Saw.file, path);
    EXPECT_EQ(Saw.used, "9");
    EXPECT_EQ(Saw.index, "");
    EXPECT_EQ(Saw.red, "");
    EXPECT_EQ(Saw.gridClient.right, 271);
    EXPECT_EQ(Saw.gridClient.bottom, 271);
    // A one-pixel border around (10, 70), or lower, below the buttons above it.
    EXPECT_EQ(Saw.gridWindow.left + 1, 10);
    EXPECT_GE(Saw.gridWindow.top + 1, 70);
    EXPECT_GT(Saw.gridWindow.top, Saw.loadBottom);
    ASSERT_NE(SavedPalette, nullptr);
    const Bytes saved = TableBytes(SavedPalette);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4), (Bytes{0, 0, 255, 0}));
    EXPECT_EQ(Saw.edit, saved);
    EXPECT_EQ(EditPalette, nullptr); // released
    EXPECT_EQ(FixedCount, 9);
    EXPECT_STREQ(PaletteFileName, path.c_str());
    EXPECT_TRUE(Seams.messages.empty());
}

TEST_F(PaletteDialog, AnUnreadableFileGivesABlackTableWithoutAMessage) {
    std::snprintf(PaletteFileName, MAX_PATH, "%s", Name("missing.pal").c_str());
    RunDialog(Show, {Record, [&](HWND d) { SendMessageA(d, WM_CLOSE, 0, 0); }});
    ASSERT_NE(SavedPalette, nullptr);
    EXPECT_EQ(TableBytes(SavedPalette), Bytes(1024, 0));
    EXPECT_TRUE(Seams.messages.empty());
}

// With PaletteAutoLoad the fields show the name and the count; OK takes them back, the count
// read up to its first letter and held to 0 ... 256.
TEST_F(PaletteDialog, OkTakesTheFieldsBackWithTheCountHeldInRange) {
    PaletteAutoLoad = 1;
    std::snprintf(PaletteFileName, MAX_PATH, "%s", "C:\\colours.pal");
    FixedCount = -4;
    RunDialog(Show, {Record, [&](HWND d) { Click(d, IDOK); }});
    EXPECT_EQ(Saw.file, "C:\\colours.pal");
    EXPECT_EQ(Saw.used, "-4");
    EXPECT_STREQ(PaletteFileName, "C:\\colours.pal");
    EXPECT_EQ(FixedCount, 0);
    InDialog([&](HWND d) {
        SetDlgItemTextA(d, IDC_USED, "12abc");
        SetDlgItemTextA(d, IDC_PALFILE, "D:\\x.pal");
        Click(d, IDOK);
    });
    EXPECT_EQ(FixedCount, 12);
    EXPECT_STREQ(PaletteFileName, "D:\\x.pal");
    InDialog([&](HWND d) {
        SetDlgItemTextA(d, IDC_USED, "300");
        Click(d, IDOK);
    });
    EXPECT_EQ(FixedCount, 256);
}

// Sets the field to `start` (unless null), steps its spinner, and gives what the field holds.
std::string Step(HWND dialog, int field, int spinner, const char* start, int code) {
    if (start != nullptr) {
        SetDlgItemTextA(dialog, field, start);
    }
    Spin(dialog, spinner, code);
    return Field(dialog, field);
}

TEST_F(PaletteDialog, SpinnersHaveOneSidedBoundsAndCommitTheFields) {
    std::vector<std::string> seen;
    RunDialog(Show,
              {
                  [&](HWND d) {
                      // Empty fields: red up gives 1 and stores (1, 0, 0) into entry 0.
                      Spin(d, IDC_RED_SPIN, SB_LINEUP);
                      seen.push_back(Step(d, IDC_RED, IDC_RED_SPIN, nullptr, SB_ENDSCROLL));
                      Record(d);
                  },
                  [&](HWND d) {
                      // Empty + 1: entry 1; the entry stops at 255 and 0.
                      for (const char* start : {static_cast<const char*>(nullptr), "255"}) {
                          seen.push_back(Step(d, IDC_INDEX, IDC_INDEX_SPIN, start, SB_LINEUP));
                      }
                      seen.push_back(Step(d, IDC_INDEX, IDC_INDEX_SPIN, "0", SB_LINEDOWN));
                      // The used count stops at 255.
                      seen.push_back(Step(d, IDC_USED, IDC_USED_SPIN, "255", SB_LINEUP));
                      SetDlgItemTextA(d, IDC_INDEX, "300"); // names no entry
                      // A colour below 0 is not raised to 0; the ends of the number
                      // range step without overflowing.
                      seen.push_back(Step(d, IDC_GREEN, IDC_GREEN_SPIN, "-7", SB_LINEUP));
                      seen.push_back(Step(d, IDC_GREEN, IDC_GREEN_SPIN, "2147483647", SB_LINEUP));
                      seen.push_back(
                          Step(d, IDC_GREEN, IDC_GREEN_SPIN, "-2147483648", SB_LINEDOWN));
                  },
                  [&](HWND d) {
                      // Colours typed as 300 and -1 are stored as 44 and 255.
                      SetDlgItemTextA(d, IDC_INDEX, "5");
                      SetDlgItemTextA(d, IDC_RED, "300");
                      SetDlgItemTextA(d, IDC_GREEN, "-1");
                      SetDlgItemTextA(d, IDC_BLUE, "12xyz");
                      Spin(d, IDC_BLUE_SPIN, SB_ENDSCROLL);
                      // An entry number outside 0..255 stores nothing ...
                      SetDlgItemTextA(d, IDC_INDEX, "300");
                      Spin(d, IDC_RED_SPIN, SB_ENDSCROLL);
                      // ... and the spinner brings it into range when it selects.
                      seen.push_back(Step(d, IDC_INDEX, IDC_INDEX_SPIN, nullptr, SB_LINEDOWN));
                      seen.push_back(Step(d, IDC_INDEX, IDC_INDEX_SPIN, "-7", SB_LINEUP));
                      Record(d);
                      Click(d, IDOK);
                  },
              });
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "1", "255", "0", "255", "-6", "255", "0", "255",
                                              "0"}));
    const Bytes saved = TableBytes(SavedPalette);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4), (Bytes{0, 0, 1, 0}));
    EXPECT_EQ(Bytes(saved.begin() + 20, saved.begin() + 24), (Bytes{12, 255, 44, 0}));
    EXPECT_EQ(Bytes(saved.begin() + 1020, saved.end()), (Bytes{0, 0, 0, 0}));
    // After selecting entry 0 the colour fields show it.
    EXPECT_EQ(Saw.red, "1");
    EXPECT_EQ(Saw.green, "0");
}

void Select(HWND dialog, int entry) {
    SendMessageA(dialog, UM_SELECTENTRY, static_cast<WPARAM>(entry), 0);
}

// Colours typed for the shown entry are kept on OK, on Enter and before another entry is
// shown; Cancel keeps nothing.
TEST_F(PaletteDialog, TypedColoursAreKeptUnlessCancelled) {
    InDialog([&](HWND d) { Click(d, IDOK); });
    const Bytes before = TableBytes(SavedPalette);
    InDialog([&](HWND d) {
        Select(d, 4);
        SetDlgItemTextA(d, IDC_RED, "99");
        Select(d, 5);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(TableBytes(SavedPalette), before);
    InDialog([&](HWND d) {
        SetDlgItemTextA(d, IDC_RED, "99"); // no entry shown: nowhere to keep it
        Click(d, IDOK);
    });
    EXPECT_EQ(TableBytes(SavedPalette), before);
    InDialog([&](HWND d) {
        Select(d, 3);
        SetDlgItemTextA(d, IDC_RED, "200");
        Select(d, 4); // a click on another swatch
        SetDlgItemTextA(d, IDC_GREEN, "77");
        Spin(d, IDC_INDEX_SPIN, SB_LINEUP); // the next entry
        Record(d);
        SetDlgItemTextA(d, IDC_BLUE, "9");
        Click(d, IDOK);
    });
    Bytes expected = before;
    expected[4 * 3 + 2] = 200;
    expected[4 * 4 + 1] = 77;
    expected[4 * 5] = 9;
    EXPECT_EQ(TableBytes(SavedPalette), expected);
    EXPECT_EQ(Saw.index, "5");
    EXPECT_EQ(Saw.green, std::to_string(before[4 * 5 + 1]));
    InDialog([&](HWND d) {
        Select(d, 8);
        SetDlgItemTextA(d, IDC_RED, "123");
        HWND red = GetDlgItem(d, IDC_RED);
        SetFocus(red);
        PostMessageA(red, WM_KEYDOWN, VK_RETURN, 0);
    });
    expected[4 * 8 + 2] = 123;
    EXPECT_EQ(TableBytes(SavedPalette), expected);
}

TEST_F(PaletteDialog, LoadShowsTheSelectedEntryOfTheNewTableAndSaysWhenItCannot) {
    const std::string loaded = Write(PlainFile(77), "load.pal");
    RunDialog(Show, {[&](HWND d) {
                         Select(d, 3);
                         SetDlgItemTextA(d, IDC_RED, "9");
                         WithFile(d, loaded + ".none", IDC_PALLOAD); // cannot be opened
                         Files.read = fake::FailingRead;
                         WithFile(d, loaded, IDC_PALLOAD); // opens, but cannot be read
                         Files.read = ReadFile;
                         Record(d);
                         Click(d, IDC_PALLOAD);
                     },
                     [&](HWND d) {
                         // An arrow commits the fields: they hold the loaded entry now.
                         Spin(d, IDC_USED_SPIN, SB_LINEUP);
                         Record(d);
                         Click(d, IDOK);
                     }});
    EXPECT_EQ(Told(), (std::vector<std::string>{"ファイルが開けません", "ファイルが読めません"}));
    EXPECT_EQ(Seams.messages[0].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_NE(Seams.messages[0].owner, nullptr);
    EXPECT_EQ(Saw.index, "3");
    // Entry 3 of the file: bytes 9, 10 and 11.
    EXPECT_EQ(Saw.red, "46");
    EXPECT_EQ(Saw.green, "51");
    EXPECT_EQ(Saw.blue, "56");
    const Bytes saved = TableBytes(SavedPalette);
    EXPECT_EQ(saved[2], 77);
    EXPECT_EQ(Bytes(saved.begin() + 4 * 3, saved.begin() + 4 * 3 + 3), (Bytes{56, 51, 46}));
}

TEST_F(PaletteDialog, SaveAsksBeforeOverwritingAndRenamesZNames) {
    const std::string target = Write({'o', 'l', 'd'}, "saved.pal");
    const std::string zName = Name("saved.zpl");
    Seams.messageAnswer = IDCANCEL;
    InDialog([&](HWND d) {
        WithFile(d, target, IDC_PALSAVE); // asked, cancelled
        Seams.messageAnswer = IDOK;
        Click(d, IDC_PALSAVE);           // asked, written
        WithFile(d, zName, IDC_PALSAVE); // z name: becomes saved.pal, which exists
        Record(d);
        Click(d, IDCANCEL);
    });
    const char* const overwrite = "上書きしますか？";
    EXPECT_EQ(Told(), (std::vector<std::string>{
                          overwrite, overwrite,
                          "拡張子にzを使わないでください\nPALに変更しますか？", overwrite}));
    EXPECT_EQ(Seams.messages[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(Seams.messages[2].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING));
    EXPECT_EQ(Saw.file, target); // the field shows the name written
    EXPECT_EQ(OnDisk(target), Bytes(768, 0));
    EXPECT_FALSE(Exists(zName));
    EXPECT_FALSE(Exists(target + ".tmp"));
}

// Other tools' files are read by their content: a JASC file proposes its count as 使用数 while
// the field holds 0, a malformed GIMP file is refused and the table kept; saving writes the
// format the extension names.
TEST_F(PaletteDialog, OtherToolsFilesLoadByContentAndSaveByExtension) {
    const std::string jasc = "JASC-PAL\r\n0100\r\n2\r\n255 0 0\r\n1 2 3\r\n";
    const std::string bad = "GIMP Palette\n1 2 300\n";
    std::vector<std::string> used;
    InDialog([&](HWND d) {
        SetDlgItemTextA(d, IDC_USED, "0");
        WithFile(d, Write(Bytes(jasc.begin(), jasc.end()), "tool.pal"), IDC_PALLOAD);
        used.push_back(Field(d, IDC_USED));
        SetDlgItemTextA(d, IDC_USED, "5");
        Click(d, IDC_PALLOAD); // 5 stays: only 0 is replaced
        used.push_back(Field(d, IDC_USED));
        WithFile(d, Write(Bytes(bad.begin(), bad.end()), "bad.gpl"), IDC_PALLOAD);
        WithFile(d, Name("out.gpl"), IDC_PALSAVE);
        WithFile(d, Name("out.act"), IDC_PALSAVE);
        WithFile(d, Name("out.hex"), IDC_PALSAVE);
        Record(d);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(used, (std::vector<std::string>{"2", "5"}));
    EXPECT_EQ(Told(), std::vector<std::string>{"ファイルが読めません"});
    Bytes expected(1024, 0);
    expected[2] = 255;
    expected[4] = 3, expected[5] = 2, expected[6] = 1;
    EXPECT_EQ(Saw.edit, expected); // the JASC file's table, kept through the refusal
    const Bytes gpl = OnDisk(Name("out.gpl"));
    ASSERT_GE(gpl.size(), 13u);
    EXPECT_EQ(std::string(gpl.begin(), gpl.begin() + 13), "GIMP Palette\n");
    EXPECT_EQ(gpl, palette::EncodePalette(expected.data(), palette::PaletteFormat::Gpl, 5));
    EXPECT_EQ(OnDisk(Name("out.act")),
              palette::EncodePalette(expected.data(), palette::PaletteFormat::Act, 5));
    const Bytes hex = OnDisk(Name("out.hex"));
    EXPECT_EQ(std::string(hex.begin(), hex.end()), "ff0000\n010203\n000000\n000000\n000000\n");
}
// A saved palette holds the colours in force and says how many: 使用数 when it is above 0,
// else as many as the table was loaded with (also at the next opening, after OK), else 256;
// the raw format always holds all 256. A file over 1 MiB is refused whole, the table kept.
TEST_F(PaletteDialog, SavedPalettesKeepTheColourCountInForce) {
    std::string web = "GIMP Palette\nName: Web\n";
    for (int i = 0; i < 216; ++i) {
        web += std::to_string(i / 36 * 51) + " " + std::to_string(i / 6 % 6 * 51) + " " +
               std::to_string(i % 6 * 51) + "\n";
    }
    const std::string large =
        "GIMP Palette\n" + std::string(palette::kMaxPaletteFileBytes, '#') + "\n1 2 3\n";
    const auto save = [this](HWND d, const char* used, const char* name) {
        SetDlgItemTextA(d, IDC_USED, used);
        WithFile(d, Name(name), IDC_PALSAVE);
    };
    std::string usedAfterLoad;
    InDialog([&](HWND d) {
        SetDlgItemTextA(d, IDC_USED, "0");
        WithFile(d, Write(Bytes(web.begin(), web.end()), "web216.gpl"), IDC_PALLOAD);
        usedAfterLoad = Field(d, IDC_USED);
        save(d, "216", "used.gpl");
        save(d, "0", "loaded.act");
        save(d, "12", "twelve.gpl");
        save(d, "12", "raw.pal");
        WithFile(d, Write(Bytes(large.begin(), large.end()), "large.gpl"), IDC_PALLOAD);
        Record(d);
        SetDlgItemTextA(d, IDC_USED, "0");
        Click(d, IDOK);
    });
    InDialog([&](HWND d) {
        save(d, "0", "kept.gpl");
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(usedAfterLoad, "216");
    EXPECT_EQ(Told(), std::vector<std::string>{"ファイルが大きすぎです"});
    Bytes web216(1024, 0);
    palette::PaletteFileFacts facts;
    ASSERT_TRUE(palette::ReadPalette(reinterpret_cast<const std::uint8_t*>(web.data()), web.size(),
                                     false, web216.data(), facts));
    EXPECT_EQ(Saw.edit, web216); // kept through the refused file
    // Each file says its count and holds those colours, black after them.
    for (const auto& [name, colours] : std::vector<std::pair<const char*, int>>{
             {"used.gpl", 216}, {"loaded.act", 216}, {"twelve.gpl", 12}, {"kept.gpl", 216}}) {
        const Bytes file = OnDisk(Name(name));
        Bytes table(1024, 0);
        ASSERT_TRUE(palette::ReadPalette(file.data(), file.size(), false, table.data(), facts));
        EXPECT_EQ(facts.colours, colours) << name;
        Bytes expected = web216;
        std::fill(expected.begin() + 4 * colours, expected.end(), std::uint8_t{0});
        EXPECT_EQ(table, expected) << name;
    }
    EXPECT_EQ(OnDisk(Name("raw.pal")).size(), 768u);
}

// 画像から: off without a document; an indexed image gives its colour table; a true-colour
// one keeps the first 使用数 entries and gets the rest of the table its high-quality
// conversion writes.
TEST_F(PaletteDialog, FromImageTakesTheTableAnImageHasOrWouldGet) {
    std::vector<bool> enabled;
    const DialogStep fromImage = [&](HWND d) {
        enabled.push_back(IsWindowEnabled(GetDlgItem(d, IDC_FROMIMAGE)) != FALSE);
        SetEntry(EditPalette, 0, 1, 2, 3);
        SetEntry(EditPalette, 1, 4, 5, 6);
        SetDlgItemTextA(d, IDC_USED, "2");
        Click(d, IDC_FROMIMAGE);
        Record(d);
        Click(d, IDCANCEL);
    };
    InDialog(fromImage);
    EXPECT_EQ(Saw.edit[2], 1); // nothing to take from
    Load(testimg::Picture8(8, 4, {0xFF0000, 0x00FF00, 0x123456}, [](int x, int) { return x % 3; }));
    InDialog(fromImage);
    Bytes indexed(1024, 0);
    indexed[2] = 0xFF, indexed[5] = 0xFF, indexed[8] = 0x56, indexed[9] = 0x34, indexed[10] = 0x12;
    EXPECT_EQ(Saw.edit, indexed);

    const Bytes photo = testimg::Picture24(97, 61, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 255 / 96) << 16 | (y * 4) << 8 | ((x * y) & 0xFF));
    });
    Load(photo);
    InDialog(fromImage);
    Bytes fixed(1024, 0);
    fixed[2] = 1, fixed[1] = 2, fixed[0] = 3, fixed[6] = 4, fixed[5] = 5, fixed[4] = 6;
    quantize::DiffusionInput input{2, fixed.data(), quantize::kBasicPalette};
    input.stages = quantize::kHighQualityDiffusion;
    testimg::VectorBlock converted{photo};
    ASSERT_EQ(converted.Diffuse(input).outcome, quantize::Outcome::Converted);
    const auto table = converted.bytes.begin() + bmp::kColourTable;
    const Bytes expected(table, table + 1024);
    EXPECT_EQ(Saw.edit, expected);
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, true}));
    EXPECT_TRUE(Seams.messages.empty());
}

// 番号を保つ: the colours of the working table that the image's pixels still take keep their
// entries (its table's black entries no pixel takes are none of them); the others are freed
// and take the image's new colours, lowest first; the dialog says so.
TEST_F(PaletteDialog, FromImageCanKeepTheIndicesOfTheColoursStillThere) {
    Load(testimg::Picture8(8, 4, {0xFF0000, 0x00FF00, 0x123456}, [](int x, int) { return x % 3; }));
    SavedPaletteColours = 3;
    std::string report;
    InDialog([&](HWND d) {
        SetEntry(EditPalette, 0, 0, 0, 0);
        SetEntry(EditPalette, 1, 0x12, 0x34, 0x56);
        SetEntry(EditPalette, 2, 0xFF, 0, 0);
        CheckDlgButton(d, IDC_KEEPINDICES, BST_CHECKED);
        Click(d, IDC_FROMIMAGE);
        report = Field(d, IDC_KEEPREPORT);
        Record(d);
        Click(d, IDCANCEL);
    });
    Bytes expected(1024, 0);
    expected[1] = 0xFF;                                         // green, new, in freed entry 0
    expected[4] = 0x56, expected[5] = 0x34, expected[6] = 0x12; // kept at 1
    expected[10] = 0xFF;                                        // red, kept at 2
    EXPECT_EQ(Saw.edit, expected);
    EXPECT_EQ(report, "番号を保った色 2\n空いた番号 1\n加えた色 1");
}

// Each way a save can fail is told once, after the question whether to overwrite, and the
// file on disk keeps its bytes (and its read-only attribute), with no ".tmp" file left that
// the save made; a ".tmp" file already there is never removed.
TEST_F(PaletteDialog, SaveFailuresAreReportedOnceAndLoseNothing) {
    const char* const failed = "書き込みに失敗しました";
    const char* const blocked = "一時ファイル(.tmp)が既にあるか作れないため、上書きできません";
    const Bytes stale = {'t', 'm', 'p'};
    const struct {
        const char* what;
        std::function<void(const std::string& target)> arrange;
        const char* text;
    } cases[] = {
        {"write fails", [](const std::string&) { Files.write = fake::FailingWrite; }, failed},
        {"create fails", [](const std::string&) { Files.create = fake::RefuseWriting; }, failed},
        {"no move aside", [](const std::string&) { Files.move = fake::RefuseToMove; }, blocked},
        {"safety name taken",
         [&](const std::string& target) { ASSERT_TRUE(WriteBytes(target + ".tmp", stale)); },
         blocked},
        {"read-only",
         [](const std::string& target) {
             ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
         },
         failed},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetSeams();
        const Bytes old = PlainFile(n);
        const std::string target = Write(old, "fail" + std::to_string(n++) + ".pal");
        c.arrange(target);
        InDialog([&](HWND d) {
            WithFile(d, target, IDC_PALSAVE);
            Click(d, IDCANCEL);
        });
        ASSERT_EQ(Seams.messages.size(), 2u);
        EXPECT_EQ(Seams.messages[1].text, c.text);
        EXPECT_EQ(
            Seams.messages[1].type,
            static_cast<UINT>(c.text == failed ? MB_OK | MB_ICONINFORMATION : MB_ICONWARNING));
        ResetSeams();
        EXPECT_EQ(OnDisk(target), old);
        const bool staleThere = std::string(c.what) == "safety name taken";
        EXPECT_EQ(Exists(target + ".tmp"), staleThere);
        if (staleThere) {
            EXPECT_EQ(OnDisk(target + ".tmp"), stale);
        }
        const DWORD attributes = GetFileAttributesA(target.c_str());
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, std::string(c.what) == "read-only");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// 参照 starts in the folder of the palette file in force (the field's, else the one kept, else
// the current directory) with no name proposed, and puts the chosen path into the field.
TEST_F(PaletteDialog, BrowseStartsBesideThePaletteInForceAndFillsTheField) {
    std::snprintf(PaletteFileName, MAX_PATH, "%s", "D:\\kept\\web.gpl");
    Seams.dialogPath = "C:\\palettes\\mine.pal";
    InDialog([&](HWND d) {
        WithFile(d, "C:\\typed\\old.pal", IDC_BROWSE);
        Record(d);
        WithFile(d, "", IDC_BROWSE);
        PaletteFileName[0] = '\0';
        WithFile(d, "", IDC_BROWSE);
        Click(d, IDCANCEL);
    });
    ASSERT_EQ(Seams.dialogs.size(), 3u);
    EXPECT_EQ(Seams.dialogs[0].title, "開く");
    static const char filter[] =
        "パレット (*.pal;*.act;*.gpl;*.hex)\0*.pal;*.act;*.gpl;*.hex\0すべてのファイル\0*.*\0";
    EXPECT_EQ(Seams.dialogs[0].filter, std::string(filter, sizeof filter));
    EXPECT_EQ(Seams.dialogs[0].defExt, "pal");
    EXPECT_EQ(Seams.dialogs[0].buffer, PathWorkBuffer);
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string folders[] = {"C:\\typed", "D:\\kept", current};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Seams.dialogs[i].initialDir, folders[i]) << i;
        EXPECT_EQ(Seams.dialogs[i].startName, "") << i;
    }
    EXPECT_EQ(Saw.file, "C:\\palettes\\mine.pal");
}

TEST_F(PaletteDialog, TheMenuCommandOpensIt) {
    OpenMainWindow(200, 100);
    RunDialog([this] { Command(IDM_PALETTE); }, {[&](HWND d) {
                  Saw.file = GetParent(d) == window_ ? "owned" : "not owned";
                  Click(d, IDCANCEL);
              }});
    EXPECT_EQ(Saw.file, "owned");
}

} // namespace
