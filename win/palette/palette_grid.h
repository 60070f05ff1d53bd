// The palette grid window: a 256-entry palette as 16 x 16 swatches.
#pragma once

#include <windows.h>

inline constexpr char kPaletteGridClass[] = "CWC_PAL";

// Private messages: to the grid, and from it to its parent, the palette dialog.
inline constexpr UINT UM_SHOWPALETTE = WM_USER;     // lParam: the table to show
inline constexpr UINT UM_CELLCHANGED = WM_USER + 1; // wParam: the entry to repaint
inline constexpr UINT UM_SELECTENTRY = WM_USER + 2; // wParam: the entry clicked
inline constexpr UINT UM_MARKENTRY = WM_USER + 3;   // wParam: the entry to mark as selected

LRESULT CALLBACK PaletteGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
