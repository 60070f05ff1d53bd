// Start-up, the three window classes, the message loop and shut-down.
#pragma once

#include <windows.h>

// Caption of every message box and title of the main window.
inline constexpr char kAppTitle[] = "Tintwright";

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HACCEL Accelerators;

// Registers HOME_WIND, CWC_PAL and CWC_KEI from one class record. Tries all three even when
// one fails; non-zero when all three were registered.
int RegisterClasses();

// Loads the settings, opens the main window, pumps messages until it is destroyed, saves the
// settings and unregisters the classes. 0 on a normal end, 10 when the main window could not
// be created, -1 or -2 when unregistering failed.
int RunApplication(int showCommand);

// The whole program behind WinMain: returns the process exit code.
int TintwrightMain(HINSTANCE instance, int showCommand);

// True when the window has something to paint. When it has not, the paint request is
// validated: one made with RDW_INTERNALPAINT would otherwise be delivered again and again.
bool HasAreaToPaint(HWND window);

// Shows a message box with the program's caption.
int Report(HWND owner, const char* text, UINT type);

// Tells the user why the handling of a message stopped, from inside a catch block: memory
// ran out, or some other failure.
void ReportCaughtFailure(HWND owner);

// Runs the handling of one message so that no C++ exception leaves a window or dialog
// procedure, where it would end the program: the failure is told to the user in a box owned
// by `owner`, the message gets `failed` as its result, and the document stays as the handler
// left it (every change to it is made only after the memory it needs was found).
template <class Result, class Handler>
Result HandleSafely(HWND owner, Result failed, Handler&& handler) noexcept {
    try {
        return handler();
    } catch (...) {
        ReportCaughtFailure(owner);
    }
    return failed;
}
