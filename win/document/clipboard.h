// The clipboard: the document copied as a packed bitmap, and a bitmap pasted as a new
// untitled document.
#pragma once

#include <windows.h>

// Ctrl+C: the image as CF_DIB, an 8-bit image as 8-bit.
void CopyCommand(HWND mainWindow);
// Ctrl+V: a CF_DIB or CF_DIBV5 image becomes a new document without a name (after the
// question when a conversion is unsaved); Save then asks for a name.
void PasteCommand(HWND mainWindow);
