// The 未使用の色を削除 menu command of the main window.
#pragma once

#include <windows.h>

// Drops the entries of an 8-bit image that no pixel takes and merges entries of one colour;
// every pixel keeps its colour. Entry 0 stays when it is a key colour. Another image is told
// in a message box owned by the main window; without an image, nothing.
void CompactCommand(HWND mainWindow);
