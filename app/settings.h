// The user's options and palette choice, kept in the registry between runs.
#pragma once

#include <windows.h>

extern DWORD AutoReduce;      // exact reduction right after Open and drop
extern DWORD KeepReadOnly;    // the open dialog refuses read-only files
extern DWORD PaletteAutoLoad; // the palette file name and fixed count are read at start-up
extern char PaletteFileName[MAX_PATH];
extern LONG FixedCount;

// Reads the settings; false when this run must end without a main window.
bool LoadSettings();
// Writes the settings back.
void SaveSettings();
