// The exact-reduction menu command of the main window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "reduce/rewrite.h"

// Converts the document to 8 bits when it has at most 256 colours; reports refusals in
// message boxes owned by the main window. Does nothing when no image is loaded.
void ExactReductionCommand(HWND mainWindow);

// A resizer over the document's global block: unlocks it, reallocates it and locks it again.
// The block is locked once whenever the resizer is called, and again when it returns.
reduce::Resizer DocumentResizer();
