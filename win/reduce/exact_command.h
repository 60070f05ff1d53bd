// The exact-reduction menu command of the main window.
#pragma once

#include <windows.h>

// Converts the document to 8 bits when it has at most 256 colours; reports refusals in
// message boxes owned by the main window. Does nothing when no image is loaded.
void ExactReductionCommand(HWND mainWindow);
