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

// The window's client area as 0x00RRGGBB pixels, row by row from the top.
std::vector<std::uint32_t> CaptureClient(HWND window, int& width, int& height);
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
    // Writes the image to Name(name) and loads it as Open does, without the dialog.
    void Load(const Bytes& image, const std::string& name = "image.bmp");
    void Command(int id) const { SendMessageA(window_, WM_COMMAND, id, 0); }
    // Handles messages until an error-diffusion run's worker has finished.
    void WaitForTheRun();
    // The file's bytes; a failure to read it fails the test.
    Bytes OnDisk(const std::string& path) const;
    // True when exactly one box was shown: this text, the program's caption, this type,
    // owned by the main window.
    bool OnlyMessage(const std::string& text, UINT type = MB_ICONWARNING) const;

    HWND window_ = nullptr;
};
