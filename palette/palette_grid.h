// The palette grid window: a 256-entry palette as 16 x 16 swatches.
#pragma once

#include <windows.h>

inline constexpr char kPaletteGridClass[] = "CWC_PAL";

LRESULT CALLBACK PaletteGridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
