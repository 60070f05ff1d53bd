// The conversion window: a small child of the main window that shows the progress of an
// error-diffusion run, driven by its worker through blocking sends.
#pragma once

#include <windows.h>

inline constexpr char kConversionWindowClass[] = "CWC_KEI";

// Private messages to the conversion window.
inline constexpr UINT UM_PROGRESS = WM_USER + 1; // wParam done, lParam total
inline constexpr UINT UM_PHASE = WM_USER + 2;    // wParam the new phase (0 to 4)
// The phase of an animation's frames, each one counted (the others show every hundredth).
inline constexpr int kFramePhase = 4;
// A message box for the worker, shown on the user-interface thread, which owns every window:
// wParam the box type, lParam the text; the result is the box's.
inline constexpr UINT UM_REPORT = WM_USER + 3;

extern HWND ProgressEdit;

LRESULT CALLBACK ConversionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
