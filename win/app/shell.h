// What every window, dialog and command of the program shares: the instance and the main
// window, message boxes with the program's caption, repaint requests, and the guard that
// keeps C++ exceptions inside window procedures.
#pragma once

#include <windows.h>

#include "core/quantize/outcome.h"

// Caption of every message box and title of the main window.
inline constexpr char kAppTitle[] = "Tintwright";

extern HINSTANCE AppInstance;
extern HWND MainWindow;

// Shows a message box with the program's caption, in front of the window it belongs to. Call
// it on the user-interface thread only. When it closes while another dialog or box of the
// same window is still open, that one keeps the window disabled and comes to the front.
int Report(HWND owner, const char* text, UINT type);

// The box that tells why a conversion did not happen: an information box for an image that
// already has a colour table, a warning when memory ran out, an error for a refused image.
UINT RefusalType(quantize::Outcome outcome);
void ReportRefusal(HWND owner, quantize::Outcome outcome);

// Why the handling of a message stopped, from inside a catch block: memory ran out, or some
// other failure; and that text told to the user in a warning box.
const char* CaughtFailureText();
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

// True when the window has something to paint. When it has not, the paint request is
// validated: one made with RDW_INTERNALPAINT would otherwise be delivered again and again.
bool HasAreaToPaint(HWND window);

// Marks the whole client area for painting, without erasing it.
void RepaintWindow(HWND window);

// A dialog's number field: its text read as a number (no digits read as 0), and a number
// written into it.
long ReadNumberField(HWND dialog, int id);
void WriteNumberField(HWND dialog, int id, long value);
