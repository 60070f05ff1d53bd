#include "tests/win/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <cstring>

#include <shlobj.h>

#include "win/app/shell.h"
#include "win/app/settings.h"
#include "core/bmp/layout.h"
#include "win/document/file_commands.h"
#include "win/document/file_io.h"
#include "win/document/document.h"
#include "win/document/view.h"
#include "win/document/main_window.h"
#include "win/document/status_bar.h"
#include "win/palette/user_palette.h"

Script Seams;
std::mutex SeamsLock;

static int RecordMessage(HWND owner, const char* text, const char* caption, UINT type) {
    const ShownMessage shown{owner, text ? text : "", caption ? caption : "", type};
    {
        std::lock_guard<std::mutex> hold(SeamsLock);
        Seams.messages.push_back(shown);
    }
    if (Seams.onMessage) {
        Seams.onMessage(shown);
    }
    return Seams.answerFor ? Seams.answerFor(shown.text) : Seams.messageAnswer;
}

static std::string FilterBytes(const char* filter) {
    // The filter list ends with two zero bytes.
    const char* p = filter;
    while (p[0] != '\0' || p[1] != '\0') {
        ++p;
    }
    return std::string(filter, p + 2);
}

static BOOL RecordDialog(OPENFILENAMEA* record, bool open) {
    Script::DialogCall call;
    call.open = open;
    call.structSize = record->lStructSize;
    call.flags = record->Flags;
    call.maxFile = record->nMaxFile;
    call.filterIndex = record->nFilterIndex;
    call.filter = FilterBytes(record->lpstrFilter);
    call.title = record->lpstrTitle ? record->lpstrTitle : "";
    call.defExt = record->lpstrDefExt ? record->lpstrDefExt : "";
    call.initialDir = record->lpstrInitialDir ? record->lpstrInitialDir : "";
    call.startName = record->lpstrFile;
    call.buffer = record->lpstrFile;
    Seams.dialogs.push_back(call);
    if (!Seams.dialogConfirms) {
        return FALSE;
    }
    std::snprintf(record->lpstrFile, record->nMaxFile, "%s", Seams.dialogPath.c_str());
    return TRUE;
}

static BOOL WINAPI RecordOpenDialog(OPENFILENAMEA* record) {
    return RecordDialog(record, true);
}
static BOOL WINAPI RecordSaveDialog(OPENFILENAMEA* record) {
    return RecordDialog(record, false);
}
static void WINAPI CountFinishedDrop(HDROP drop) {
    ++Seams.dropsFinished;
    DragFinish(drop);
}

void ResetSeams() {
    Seams = Script{};
    ShowMessage = RecordMessage;
    RunOpenDialog = RecordOpenDialog;
    RunSaveDialog = RecordSaveDialog;
    QueryDroppedFile = DragQueryFileA;
    FinishDrop = CountFinishedDrop;
    Files = {CreateFileA, GetFileSize, ReadFile, WriteFile, MoveFileA, DeleteFileA, GlobalAlloc};
}

std::string TempDir() {
    static std::string dir;
    if (dir.empty()) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        dir = std::string(base) + "tw_wintests_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        // Process ids come round again: clear what an earlier run left here.
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string path = dir + "\\" + found.cFileName;
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); // read-only ones too
                DeleteFileA(path.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
    }
    return dir;
}

std::string TempPath(const std::string& name) {
    return TempDir() + "\\" + name;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool ReadBytes(const std::string& path, Bytes& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bytes.assign(GetFileSize(file, nullptr), 0);
    DWORD got = 0;
    const BOOL ok = bytes.empty() ||
                    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return ok && got == bytes.size();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Bytes DocumentBytes() {
    if (ImageBuffer == nullptr) {
        return {};
    }
    const auto* p = static_cast<const std::uint8_t*>(GlobalLock(ImageBuffer));
    Bytes bytes(p, p + ImageBytes);
    GlobalUnlock(ImageBuffer);
    return bytes;
}

void ResetRegistry() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Hollowmere");
    HKEY product = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hollowmere\\Tintwright", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &product,
                        nullptr) == ERROR_SUCCESS) {
        const DWORD zero = 0;
        for (const char* name : {"自動変換", "NoReadOnly", "PALAutoLoad"}) {
            RegSetValueExA(product, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&zero), 4);
        }
        RegCloseKey(product);
    }
}

bool ReadSetting(const char* name, DWORD& type, Bytes& data, HKEY root) {
    HKEY product = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE\\Hollowmere\\Tintwright", 0, KEY_READ, &product) !=
        ERROR_SUCCESS) {
        return false;
    }
    BYTE buffer[1024];
    DWORD length = sizeof buffer;
    const bool found =
        RegQueryValueExA(product, name, nullptr, &type, buffer, &length) == ERROR_SUCCESS;
    RegCloseKey(product);
    if (found) {
        data.assign(buffer, buffer + length);
    }
    return found;
}

static std::vector<DialogStep> PendingSteps;
static size_t NextStep;
static int TicksAfterLastStep;

// A dialog still open well after its last step would hang the test: it is ended, and the
// test fails.
static void CALLBACK StepDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowA("#32770", nullptr);
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
        return;
    }
    if (NextStep < PendingSteps.size()) {
        PendingSteps[NextStep++](dialog);
    } else if (++TicksAfterLastStep == 50) {
        ADD_FAILURE() << "the dialog did not end after its last step";
        EndDialog(dialog, 0);
    }
}

void RunDialog(const std::function<void()>& open, const std::vector<DialogStep>& steps) {
    PendingSteps = steps;
    NextStep = 0;
    TicksAfterLastStep = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, StepDialog);
    open();
    KillTimer(nullptr, timer);
}

void ResetProgram() {
    if (ImageBuffer != nullptr) {
        GlobalFree(ImageBuffer);
    }
    ImageBuffer = nullptr;
    ImageBytes = 0;
    ImageLoaded = 0;
    InvalidateScreenCache();
    CurrentFileName[0] = '\0';
    PathWorkBuffer[0] = '\0';
    AutoReduce = 0;
    KeepReadOnly = 0;
    PaletteAutoLoad = 0;
    if (SavedPalette != nullptr) {
        GlobalFree(SavedPalette);
        SavedPalette = nullptr;
    }
    SavedPaletteColours = 0;
    PaletteFileName[0] = '\0';
    FixedCount = 0;
    QualityColours = 256;
    QualityDither = 0;
    QualityStrength = 100;
    QualityKey = 0;
    QualityLinear = 0;
    QualityEffort = quantize::kDefaultEffort;
    QualityDepth = 0;
    QualityBits = 0;
    QualityOrder = 0;
    QualityAlpha = 0;
    QualityFrom[0] = '\0';
    const tiles::TileShape tileDefaults;
    TileWidth = tileDefaults.width;
    TileHeight = tileDefaults.height;
    TilePalettes = tileDefaults.palettes;
    TileSize = tileDefaults.size;
    TileShared = tileDefaults.shared;
    lstrcpyA(TileTarget, "snes");
    NoUnsavedPrompt = 0;
    QuietRuns = 0;
    StatusBarShown = 1;
    Kind = DocumentKind{};
    Frames = FrameSet{};
    DropComparisonCopy();
    View = ViewState{};
    MachineKeyWritable = nullptr;
}

HWND CreateMainWindow(int clientWidth, int clientHeight) {
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL | WS_CLIPCHILDREN;
    RECT rect = {0, 0, clientWidth + GetSystemMetrics(SM_CXVSCROLL),
                 clientHeight + GetSystemMetrics(SM_CYHSCROLL)};
    AdjustWindowRectEx(&rect, style, TRUE, WS_EX_ACCEPTFILES);
    HWND window = CreateWindowExA(WS_EX_ACCEPTFILES, kMainWindowClass, kAppTitle, style, 0, 0,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  AppInstance, nullptr);
    // The status bar takes its height from the client area: the window grows by it, so that
    // the image is shown in an area of the size asked.
    RECT shown = {}, area = {};
    GetWindowRect(window, &shown);
    ViewArea(window, area);
    RECT client = {};
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, shown.right - shown.left,
                 shown.bottom - shown.top + client.bottom - area.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    PumpPending();
    return window;
}

HDROP MakeDrop(const std::vector<std::string>& paths) {
    size_t chars = 1;
    for (const auto& p : paths) {
        chars += p.size() + 1;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* names = reinterpret_cast<char*>(drop + 1);
    for (const auto& p : paths) {
        std::memcpy(names, p.c_str(), p.size() + 1);
        names += p.size() + 1;
    }
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

Capture CaptureClient(HWND window) {
    RECT client;
    ViewArea(window, client);
    Capture shot;
    shot.width = client.right;
    shot.height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    shot.pixels.assign(first, first + shot.width * shot.height);
    for (auto& p : shot.pixels) {
        p &= 0x00FFFFFF;
    }
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return shot;
}

Capture Paint(HWND window) {
    UpdateWindow(window);
    PumpPending();
    return CaptureClient(window);
}

int Capture::Misses(int w, int h, const std::function<std::uint32_t(int, int)>& expected,
                    int step) const {
    int wrong = 0;
    for (int y = 0; y < h; y += step) {
        for (int x = 0; x < w; x += step) {
            wrong += At(x, y) != expected(x, y);
        }
    }
    return wrong;
}

std::uint32_t BackgroundPixel() {
    const DWORD sys = GetSysColor(COLOR_WINDOW);
    return (sys & 0xFF) << 16 | (sys & 0xFF00) | ((sys >> 16) & 0xFF);
}

static std::atomic<std::size_t> FailingSize{0};

void FailNextAllocationOfAtLeast(std::size_t bytes) {
    FailingSize = bytes;
}

// The test program's own operator new, so that a test can make one allocation fail. Its
// blocks come from malloc, and the matching deletes give them back there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    std::size_t failing = FailingSize.load();
    if (failing != 0 && size >= failing && FailingSize.compare_exchange_strong(failing, 0)) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

void ProgramTest::SetUp() {
    ResetSeams();
    ResetProgram();
}

void ProgramTest::TearDown() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    ResetProgram();
    PumpPending();
}

void ProgramTest::OpenMainWindow(int clientWidth, int clientHeight) {
    window_ = CreateMainWindow(clientWidth, clientHeight);
}

std::string ProgramTest::Name(const std::string& base) const {
    return TempPath(std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) +
                    "_" + base);
}

void ProgramTest::Load(const Bytes& image, const std::string& name) {
    ASSERT_TRUE(Open(Write(image, name)));
}

Bytes ProgramTest::OnDisk(const std::string& path) const {
    Bytes bytes;
    EXPECT_TRUE(ReadBytes(path, bytes)) << path;
    return bytes;
}

std::string ProgramTest::Write(const Bytes& bytes, const std::string& name) const {
    const std::string path = Name(name);
    EXPECT_TRUE(WriteBytes(path, bytes)) << path;
    return path;
}

bool ProgramTest::Open(const std::string& path) const {
    std::snprintf(CurrentFileName, MAX_PATH, "%s", path.c_str());
    return LoadCurrentFile(window_, false);
}

void ProgramTest::OpenWithDialog(const std::string& path) const {
    Seams.dialogPath = path;
    Seams.dialogConfirms = true;
    Command(IDM_OPEN);
}

void ProgramTest::Drop(const std::vector<std::string>& paths) const {
    SendMessageA(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
}

std::string ProgramTest::Title() const {
    char text[MAX_PATH + 32] = "";
    GetWindowTextA(window_, text, sizeof text);
    return text;
}

std::string ProgramTest::TitleFor(const std::string& path) {
    return "Tintwright - " + path.substr(path.find_last_of('\\') + 1);
}

bool OnlyMessageFrom(HWND owner, const std::string& text, UINT type) {
    std::lock_guard<std::mutex> hold(SeamsLock);
    return Seams.messages.size() == 1 && Seams.messages[0].text == text &&
           Seams.messages[0].caption == "Tintwright" && Seams.messages[0].type == type &&
           Seams.messages[0].owner == owner;
}

std::vector<std::string> Told() {
    std::lock_guard<std::mutex> hold(SeamsLock);
    std::vector<std::string> texts;
    for (const auto& m : Seams.messages) {
        texts.push_back(m.text);
    }
    return texts;
}

Bytes TableBytes(HGLOBAL table) {
    const auto* e = static_cast<const BYTE*>(GlobalLock(table));
    Bytes bytes(e, e + 1024);
    GlobalUnlock(table);
    return bytes;
}

namespace fake {

BOOL WINAPI FailingRead(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED) {
    *got = 0;
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T) {
    return nullptr;
}

BOOL WINAPI ShortRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED) {
    return ReadFile(file, buffer, size / 2, got, nullptr);
}

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
    *written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI HalfWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED) {
    return WriteFile(file, bytes, size / 2, written, nullptr);
}

HANDLE WINAPI RefuseWriting(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                            DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (access & GENERIC_WRITE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, sa, disposition, flags, templateFile);
}

BOOL WINAPI RefuseToMove(LPCSTR, LPCSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI RefuseToDelete(LPCSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

} // namespace fake

void ProgramTest::WaitForTheRun() {
    const DWORD start = GetTickCount();
    while (ConversionInProgress() && GetTickCount() - start < 60000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    PumpPending();
    ASSERT_FALSE(ConversionInProgress());
}
