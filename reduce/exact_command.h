// The exact-reduction menu command of the main window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "reduce/refusals.h"
#include "reduce/rewrite.h"

// Converts the document to 8 bits when it has at most 256 colours; reports refusals in
// message boxes owned by the main window. Does nothing when no image is loaded.
void ExactReductionCommand(HWND mainWindow);

// Tells why a conversion did not happen: an information box for an image that already has a
// colour table, a warning when memory ran out, an error for a refused image.
void ReportRefusal(HWND owner, const reduce::Refusal& refusal);

// A resizer over the document's global block: unlocks it, reallocates it and locks it again.
// The block is locked once whenever the resizer is called, and again when it returns.
reduce::Resizer DocumentResizer();
