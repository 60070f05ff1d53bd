// The main window: paints and scrolls the document and dispatches the menu commands.
#pragma once

#include <windows.h>

inline constexpr char kMainWindowClass[] = "HOME_WIND";

// The palette selected for painting a palettised image, built from its colour table on the
// first paint after a load or conversion.
struct ScreenPaletteState {
    HPALETTE object;
    BOOL built;
};
extern ScreenPaletteState ScreenPalette;

// Drops what painting keeps of the image, the palette and any unpacked run-length rows, so
// that the next paint builds them afresh from the current document.
void InvalidateScreenCache();

// Marks the whole client area for painting, without erasing it.
void RepaintWindow(HWND window);

// Line and page steps of both scroll bars, in pixels.
inline constexpr int kLineStep = 1;
inline constexpr int kPageStep = 11;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
