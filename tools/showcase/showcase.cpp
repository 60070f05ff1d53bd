// Starts the program as usual and, once its window is up, either drops the image named on
// the command line onto it, the way the shell would, or (with "--palette FILE") opens the
// palette dialog on that palette file, or (with "--quality") the high-quality settings dialog
// with 64 colours, Atkinson's kernel in linear light and the key colour chosen (saved as
// closed.bmp, then again as shot.bmp with its list of ditherings dropped down). Four seconds
// later it saves the whole screen, as
// Wine shows it, to shot.bmp in the current folder, and closes. With "--diffuse IMAGE" it
// drops the image, starts error diffusion (answering the message boxes itself: no fixed
// palette, OK to the rest), saves the screen half a second into the run, and when the run is
// over writes its duration in milliseconds to run-ms.txt. With "--zoom IMAGE" it drops the
// image, converts it with 誤差拡散（高画質） without the stage boxes and shows it at 400 %;
// "--alpha IMAGE" does the same with 透明度を保つ on, its soft edges over the checkerboard;
// with "--options" it opens the options dialog, with "--tiles" the tile settings dialog.
// Used for screenshots and timing.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "win/app/app.h"
#include "win/app/shell.h"
#include "win/app/seams.h"
#include "win/app/settings.h"
#include "win/document/document.h"
#include "win/reduce/diffusion_command.h"
#include "win/res/resource.h"

static char Argument[MAX_PATH];
static bool ShowPalette;
static bool ShowQuality;
static bool RunDiffusion;
static bool ShowZoomed;
static bool KeepAlpha;
static bool ShowOptions;
static bool ShowTiles;
static DWORD RunStart;

static int AnswerItself(HWND, const char*, const char*, UINT type) {
    return (type & MB_YESNO) == MB_YESNO ? IDNO : IDOK;
}

static void DropImage() {
    const size_t length = std::strlen(Argument);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + length + 2);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(drop + 1, Argument, length);
    GlobalUnlock(block);
    PostMessageA(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

// The screen as a 24-bit BMP file.
static void SaveScreen(const char* path) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD size = static_cast<DWORD>((width * 3 + 3) & ~3) * height;
    const BITMAPFILEHEADER header = {0x4D42, 54 + size, 0, 0, 54};
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, &header, 14, &written, nullptr);
    WriteFile(file, &info.bmiHeader, 40, &written, nullptr);
    WriteFile(file, bits, size, &written, nullptr);
    CloseHandle(file);
    SelectObject(memory, previous);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

static void CALLBACK ShootAndQuit(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SaveScreen("shot.bmp");
    ExitProcess(0);
}

static void CALLBACK WaitForTheRun(HWND, UINT, UINT_PTR id, DWORD) {
    if (ConversionInProgress()) {
        return;
    }
    KillTimer(nullptr, id);
    char text[32];
    const int length = wsprintfA(text, "%lu\n", GetTickCount() - RunStart);
    HANDLE file = CreateFileA("run-ms.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    ExitProcess(0);
}

static void CALLBACK ShootDuringTheRun(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SaveScreen("shot.bmp");
}

static void CALLBACK StartDiffusion(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    RunStart = GetTickCount();
    SetTimer(nullptr, 0, 500, ShootDuringTheRun);
    SetTimer(nullptr, 0, 5, WaitForTheRun);
    SendMessageA(MainWindow, WM_COMMAND, IDM_REDUCE_DIFFUSE, 0);
}

static void CALLBACK ZoomWhenConverted(HWND, UINT, UINT_PTR id, DWORD) {
    if (ConversionInProgress()) {
        return;
    }
    KillTimer(nullptr, id);
    SendMessageA(MainWindow, WM_COMMAND, IDM_ZOOM_400, 0);
    SetTimer(nullptr, 0, 1500, ShootAndQuit);
}

// Saves the screen with 高画質の設定 (the main window's last active popup) as it opened, then
// drops its list of ditherings down.
static void CALLBACK DropDitheringList(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SaveScreen("closed.bmp");
    HWND dialog = GetLastActivePopup(MainWindow);
    SendDlgItemMessageA(dialog, IDC_DITHER, CB_SHOWDROPDOWN, TRUE, 0);
}

static void CALLBACK StartQualityRun(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SetTimer(nullptr, 0, 50, ZoomWhenConverted);
    SendMessageA(MainWindow, WM_COMMAND, IDM_REDUCE_DIFFUSE_HQ, 0);
}

static void CALLBACK ActOnce(HWND, UINT, UINT_PTR id, DWORD) {
    if (MainWindow == nullptr) {
        return;
    }
    KillTimer(nullptr, id);
    if (RunDiffusion) {
        ShowMessage = AnswerItself;
        DropImage();
        SetTimer(nullptr, 0, 1000, StartDiffusion);
        return;
    }
    if (ShowZoomed) {
        ShowMessage = AnswerItself;
        QuietRuns = 1;
        QualityAlpha = KeepAlpha ? 1 : 0;
        DropImage();
        SetTimer(nullptr, 0, 1000, StartQualityRun);
        return;
    }
    SetTimer(nullptr, 0, 4000, ShootAndQuit);
    if (ShowOptions) {
        NoUnsavedPrompt = 1;
        PostMessageA(MainWindow, WM_COMMAND, IDM_OPTIONS, 0);
    } else if (ShowTiles) {
        PostMessageA(MainWindow, WM_COMMAND, IDM_TILES, 0);
    } else if (ShowQuality) {
        QualityColours = 64;
        QualityDither = 3; // 誤差拡散（アトキンソン）
        QualityLinear = 1;
        QualityKey = 1;
        QualityDepth = 2; // 16-bit (5-6-5)
        PostMessageA(MainWindow, WM_COMMAND, IDM_QUALITY, 0);
        SetTimer(nullptr, 0, 2000, DropDitheringList);
    } else if (ShowPalette) {
        std::strcpy(PaletteFileName, Argument);
        PaletteAutoLoad = 1;
        FixedCount = 16;
        PostMessageA(MainWindow, WM_COMMAND, IDM_PALETTE, 0);
    } else {
        DropImage();
    }
}

// The screenshots show the program with its first settings, not the first-run registration
// message nor what a test run left in the registry.
static void RegisterSettingsKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere\\Tintwright");
    HKEY product = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere\\Tintwright", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &product,
                        nullptr) == ERROR_SUCCESS) {
        RegCloseKey(product);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    const char* path = commandLine;
    if (std::strncmp(path, "--palette ", 10) == 0) {
        ShowPalette = true;
        path += 10;
    } else if (std::strcmp(path, "--quality") == 0) {
        ShowQuality = true;
    } else if (std::strcmp(path, "--options") == 0) {
        ShowOptions = true;
    } else if (std::strcmp(path, "--tiles") == 0) {
        ShowTiles = true;
    } else if (std::strncmp(path, "--zoom ", 7) == 0) {
        ShowZoomed = true;
        path += 7;
    } else if (std::strncmp(path, "--alpha ", 8) == 0) {
        ShowZoomed = KeepAlpha = true;
        path += 8;
    } else if (std::strncmp(path, "--diffuse ", 10) == 0) {
        RunDiffusion = true;
        path += 10;
    }
    GetFullPathNameA(path, MAX_PATH, Argument, nullptr);
    RegisterSettingsKey();
    SetTimer(nullptr, 0, 200, ActOnce);
    return TintwrightMain(instance, showCommand);
}
