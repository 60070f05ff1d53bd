// The main window: paints and scrolls the document and dispatches the menu commands.
#pragma once

#include <windows.h>

inline constexpr char kMainWindowClass[] = "HOME_WIND";

// Line and page steps of both scroll bars, in pixels.
inline constexpr int kLineStep = 1;
inline constexpr int kPageStep = 11;
// A line of the wheel and of the arrow keys, in pixels.
inline constexpr int kWheelLine = 20;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
