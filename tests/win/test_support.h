// Shared helpers of the Windows tests: scripted seams, temporary files, a main window of
// known size and reading its pixels back, and the fixture every test builds on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "win/app/seams.h"
#include "win/res/resource.h"
#include "tests/support/bmp_builder.h"

using testimg::Bytes;
using testimg::Picture24;
using testimg::Picture8;

// One message box the program asked for.
struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// The recorded seams; Reset() empties them and restores the real file calls.
struct Script {
    // Message boxes may come from a worker thread too: `onMessage`, when set, runs on that
    // thread before the answer is given, and `answerFor` picks the answer by text.
    std::vector<ShownMessage> messages;
    int messageAnswer = IDOK;
    std::function<void(const ShownMessage&)> onMessage;
    std::function<int(const std::string&)> answerFor;

    // The open and save dialogs: every record they were given, and what they answer.
    struct DialogCall {
        bool open;
        DWORD structSize, flags, maxFile, filterIndex;
        std::string filter, title, defExt, initialDir, startName;
        char* buffer;
    };
    std::vector<DialogCall> dialogs;
    bool dialogConfirms = true;
    std::string dialogPath;

    int dropsFinished = 0;
};
extern Script Seams;
extern std::mutex SeamsLock; // guards Seams.messages against a worker thread
void ResetSeams();

// The folder of this test program's files; emptied at start.
std::string TempDir();
std::string TempPath(const std::string& name);
bool WriteBytes(const std::string& path, const Bytes& bytes);
bool ReadBytes(const std::string& path, Bytes& bytes);
bool Exists(const std::string& path);

// The document as bytes.
Bytes DocumentBytes();
// The program's state as at start-up: no document, options off, no user palette.
void ResetProgram();

// A main window (class HOME_WIND) whose client area, with both scroll bars shown, is
// width x height pixels.
HWND CreateMainWindow(int clientWidth, int clientHeight);

// A drop of several files, as the shell hands it over (the receiver releases it).
HDROP MakeDrop(const std::vector<std::string>& paths);

// Handles every message waiting for this thread.
void PumpPending();

// True when exactly one box was shown: this text, the program's caption, this type, owned by
// `owner`.
bool OnlyMessageFrom(HWND owner, const std::string& text, UINT type);
// The texts of the boxes shown so far, in order.
std::vector<std::string> Told();
// The 1024 bytes of a palette table block.
Bytes TableBytes(HGLOBAL table);

// The settings key: removed under both roots, then registered under the machine root with
// the three options at zero, as a first run leaves it.
void ResetRegistry();
// Reads a value of HKLM\SOFTWARE\Hollowmere\Tintwright (or of `root`): its type and bytes;
// false when it is missing.
bool ReadSetting(const char* name, DWORD& type, Bytes& data, HKEY root = HKEY_LOCAL_MACHINE);

// Runs `open` (which shows a modal dialog) while a timer performs `steps` one by one on the
// dialog, one per tick; the last step must end the dialog.
using DialogStep = std::function<void(HWND dialog)>;
void RunDialog(const std::function<void()>& open, const std::vector<DialogStep>& steps);

// A window's client area as 0x00RRGGBB pixels, row by row from the top.
struct Capture {
    std::vector<std::uint32_t> pixels;
    int width = 0, height = 0;
    std::uint32_t At(int x, int y) const { return pixels[y * width + x]; }
    // How many pixels of the top-left w x h rectangle (every step-th column and row) are not
    // expected(x, y).
    int Misses(int w, int h, const std::function<std::uint32_t(int, int)>& expected,
               int step = 1) const;
};
// The client area as it stands.
Capture CaptureClient(HWND window);
// The client area once every pending paint has been done.
Capture Paint(HWND window);
// The window background (COLOR_WINDOW) as such a pixel.
std::uint32_t BackgroundPixel();

// File calls for Files that fail the way their names say, each otherwise as its platform call.
namespace fake {
HGLOBAL WINAPI NoMemory(UINT flags, SIZE_T size);
BOOL WINAPI FailingRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED);
BOOL WINAPI ShortRead(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED);
BOOL WINAPI FailingWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED);
BOOL WINAPI HalfWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED);
// Opens for reading only.
HANDLE WINAPI RefuseWriting(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                            DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI RefuseToMove(LPCSTR from, LPCSTR to);
BOOL WINAPI RefuseToDelete(LPCSTR name);
} // namespace fake

// Makes the next allocation through operator new of at least `bytes` bytes fail with
// std::bad_alloc, on whichever thread it happens.
void FailNextAllocationOfAtLeast(std::size_t bytes);

// The fixture of the Windows tests: seams scripted and the program's state reset before
// and after each test, an optional main window, and files named after the test.
class ProgramTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens window_, a main window with a client area of width x height pixels.
    void OpenMainWindow(int clientWidth, int clientHeight);
    // A path in the temporary folder that only this test uses.
    std::string Name(const std::string& base) const;
    // Writes the bytes to Name(name); returns that path.
    std::string Write(const Bytes& bytes, const std::string& name) const;
    // Loads the file as Open does once its name is chosen; true when it became the document.
    bool Open(const std::string& path) const;
    // Writes the image to Name(name) and loads it as Open does, without the dialog.
    void Load(const Bytes& image, const std::string& name = "image.bmp");
    // The Open command with the dialog choosing `path`.
    void OpenWithDialog(const std::string& path) const;
    // The files dropped on the main window, as the shell drops them.
    void Drop(const std::vector<std::string>& paths) const;
    void Command(int id) const { SendMessageA(window_, WM_COMMAND, id, 0); }
    // Sends an error-diffusion command and waits until its run has ended.
    void Diffuse(int command = IDM_REDUCE_DIFFUSE) {
        Command(command);
        WaitForTheRun();
    }
    // Handles messages until an error-diffusion run's worker has finished.
    void WaitForTheRun();
    // The main window's client area once painted.
    Capture Paint() const { return ::Paint(window_); }
    // The main window's title, and the one it has for a document of this file.
    std::string Title() const;
    static std::string TitleFor(const std::string& path);
    // The file's bytes; a failure to read it fails the test.
    Bytes OnDisk(const std::string& path) const;
    // True when exactly one box was shown: this text, the program's caption, this type,
    // owned by the main window.
    bool OnlyMessage(const std::string& text, UINT type = MB_ICONWARNING) const {
        return OnlyMessageFrom(window_, text, type);
    }

    HWND window_ = nullptr;
};
