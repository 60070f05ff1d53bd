// Start-up and shut-down: exit codes, the three string-table messages, accelerators.
#include <gtest/gtest.h>

#include <cstring>

#include "win/app/app.h"
#include "win/app/shell.h"
#include "win/document/document.h"
#include "win/document/main_window.h"
#include "win/palette/palette_grid.h"
#include "core/quantize/basic_palette.h"
#include "win/reduce/conversion_window.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"
#include "tw_version.h"

namespace {

void UnregisterAll() {
    UnregisterClassA(kMainWindowClass, AppInstance);
    UnregisterClassA(kPaletteGridClass, AppInstance);
    UnregisterClassA(kConversionWindowClass, AppInstance);
}

bool IsRegistered(const char* name) {
    WNDCLASSA record;
    return GetClassInfoA(AppInstance, name, &record) != 0;
}

// Runs the whole program with a timer that performs `step` in its message loop until the
// step answers true (done).
using Step = bool (*)(int tick);
Step CurrentStep;
int Tick;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    if (CurrentStep(Tick++)) {
        KillTimer(nullptr, id);
    }
}

int RunProgram(Step step) {
    UnregisterAll();
    PumpPending();
    CurrentStep = step;
    Tick = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, OnTimer);
    const int result = TintwrightMain(AppInstance, SW_SHOWNORMAL);
    KillTimer(nullptr, timer);
    return result;
}

class Startup : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ResetRegistry();
    }
    void TearDown() override {
        UnregisterAll();
        RegisterClasses();
        ProgramTest::TearDown();
    }
};

void PostKey(HWND target, WPARAM key, bool control) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageA(target, WM_KEYDOWN, key, 1);
}

TEST_F(Startup, EscapeFromAChildWindowClosesAndExitsWithZero) {
    const int result = RunProgram([](int tick) {
        HWND main = FindWindowA(kMainWindowClass, nullptr);
        if (main == nullptr) {
            return false;
        }
        HWND child = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, main,
                                     nullptr, AppInstance, nullptr);
        SetFocus(child);
        (void)tick;
        PostKey(child, VK_ESCAPE, false);
        return true;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(FindWindowA(kMainWindowClass, nullptr), nullptr);
    // Only the main window's and the grid's classes are unregistered at the end.
    EXPECT_FALSE(IsRegistered(kMainWindowClass));
    EXPECT_FALSE(IsRegistered(kPaletteGridClass));
    EXPECT_TRUE(IsRegistered(kConversionWindowClass));
}

TEST_F(Startup, ControlOOpensTheOpenDialogThroughTheAccelerators) {
    Seams.dialogConfirms = false;
    const int result = RunProgram([](int tick) {
        HWND main = FindWindowA(kMainWindowClass, nullptr);
        if (main == nullptr) {
            return false;
        }
        if (tick < 100 && Seams.dialogs.empty()) {
            PostKey(main, 'O', true);
            return false;
        }
        PostKey(main, VK_ESCAPE, false);
        return true;
    });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    EXPECT_TRUE(Seams.dialogs[0].open);
}

LRESULT CALLBACK RefuseEveryWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Startup, MainWindowNotCreatedShowsStringTwoAndExitsWithTen) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseEveryWindow, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const int result = RunProgram([](int) { return true; });
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(result, 10);
    EXPECT_TRUE(OnlyMessageFrom(nullptr, "クラスが作成できませんでした", MB_ICONWARNING));
    // Nothing is unregistered on this path.
    EXPECT_TRUE(IsRegistered(kMainWindowClass));
    EXPECT_TRUE(IsRegistered(kPaletteGridClass));
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

TEST_F(Startup, FailedRegistrationShowsStringOneTriesAllAndExitsWithZero) {
    UnregisterAll();
    WNDCLASSA taken = {};
    taken.lpfnWndProc = PlainProc;
    taken.hInstance = AppInstance;
    taken.lpszClassName = kConversionWindowClass;
    ASSERT_TRUE(RegisterClassA(&taken));
    const int result = TintwrightMain(AppInstance, SW_SHOWNORMAL);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(OnlyMessageFrom(nullptr, "クラスの初期化に、失敗したよ", MB_ICONWARNING));
    // The first two were registered all the same, and no window was opened.
    EXPECT_TRUE(IsRegistered(kMainWindowClass));
    EXPECT_TRUE(IsRegistered(kPaletteGridClass));
    EXPECT_EQ(FindWindowA(kMainWindowClass, nullptr), nullptr);
}

TEST_F(Startup, FailedUnregistrationShowsStringThree) {
    static HWND extra;
    extra = nullptr;
    const int result = RunProgram([](int) {
        if (FindWindowA(kMainWindowClass, nullptr) == nullptr) {
            return false;
        }
        // A second window of the main class outlives the loop, so its class stays in use.
        extra = CreateWindowExA(0, kMainWindowClass, "extra", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, AppInstance, nullptr);
        PostQuitMessage(0);
        return true;
    });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(OnlyMessageFrom(nullptr, "クラスの削除に失敗しました", MB_ICONWARNING));
    DestroyWindow(extra);
    DestroyWindow(MainWindow);
}

TEST_F(Startup, AboutBoxShowsTheTitleAsTextAndCaption) {
    HWND window = CreateMainWindow(300, 200);
    SendMessageA(window, WM_COMMAND, IDM_ABOUT, 0);
    EXPECT_TRUE(OnlyMessageFrom(window, "Tintwright " TW_VERSION_TEXT, MB_OK));
    DestroyWindow(window);
}

TEST(Resources, TheBasicPaletteResourceHoldsTheEngineBytes) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_BASICPALETTE), "PALETTE");
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, found), 126u);
    const auto* bytes =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
    EXPECT_EQ(std::memcmp(bytes, quantize::kBasicPalette, 126), 0);
}

// The version resource carries the project's version as its file and product version.
TEST(Resources, TheVersionResourceHoldsTheProjectsVersion) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    const DWORD size = SizeofResource(nullptr, found);
    const DWORD words[] = {TW_VERSION_WORDS};
    const VS_FIXEDFILEINFO* info = nullptr;
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size && info == nullptr; at += 4) {
        const auto* candidate = reinterpret_cast<const VS_FIXEDFILEINFO*>(bytes + at);
        info = candidate->dwSignature == 0xFEEF04BD ? candidate : nullptr;
    }
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->dwFileVersionMS, words[0] << 16 | words[1]);
    EXPECT_EQ(info->dwFileVersionLS, words[2] << 16 | words[3]);
    EXPECT_EQ(info->dwProductVersionMS, info->dwFileVersionMS);
}

TEST(Resources, TextsAreCodePage932) {
    EXPECT_EQ(GetACP(), 932u);
    char text[256] = "";
    ASSERT_GT(LoadStringA(AppInstance, 1, text, sizeof text), 0);
    EXPECT_STREQ(text, "クラスの初期化に、失敗したよ");
    // "ソフト"-style trail bytes of 0x5C survive: 開く is 8A 4A 82 AD in code page 932.
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(menu, nullptr);
    char caption[64] = "";
    GetMenuStringA(menu, IDM_OPEN, caption, sizeof caption, MF_BYCOMMAND);
    EXPECT_STREQ(caption, "開く\tCtrl+O");
    GetMenuStringA(menu, 1, caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ(caption, "変換(&T)");
    GetMenuStringA(menu, IDM_ABOUT, caption, sizeof caption, MF_BYCOMMAND);
    EXPECT_STREQ(caption, "バージョン情報(&V)");
    DestroyMenu(menu);
}

} // namespace
