// The palette dialog: edits the user palette, its fixed count and its file.
#pragma once

#include <windows.h>

// Runs the dialog modally. Its only results are SavedPalette, FixedCount and
// PaletteFileName.
void RunPaletteDialog(HWND owner);
