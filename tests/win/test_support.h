// Shared helpers of the Windows tests: scripted seams, temporary files, BMP builders, a main
// window of known size and reading its pixels back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/seams.h"

using Bytes = std::vector<std::uint8_t>;

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

// BMP file images with a 40-byte header. Pixel colours are 0x00RRGGBB; rows given top first.
Bytes MakeBmp24(int width, int height, std::uint32_t (*colour)(int x, int y));
Bytes MakeBmp8(int width, int height, const std::vector<std::uint32_t>& palette,
               std::uint8_t (*index)(int x, int y));

// The document as bytes, and putting one in place without a file.
Bytes DocumentBytes();
void ResetDocument();

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
using DialogStep = void (*)(HWND dialog);
void RunDialog(void (*open)(), const std::vector<DialogStep>& steps);

// The window's client area as 0x00RRGGBB pixels, row by row from the top.
std::vector<std::uint32_t> CaptureClient(HWND window, int& width, int& height);
// The window background (COLOR_WINDOW) as such a pixel.
std::uint32_t BackgroundPixel();

// Makes the next allocation through operator new of at least `bytes` bytes fail with
// std::bad_alloc, on whichever thread it happens.
void FailNextAllocationOfAtLeast(std::size_t bytes);
