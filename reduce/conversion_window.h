// The conversion window that shows the progress of an error-diffusion run.
#pragma once

#include <windows.h>

inline constexpr char kConversionWindowClass[] = "CWC_KEI";

LRESULT CALLBACK ConversionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
