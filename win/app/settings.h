// The user's options and palette choice, kept in the registry between runs.
#pragma once

#include <windows.h>

extern DWORD AutoReduce;      // exact reduction right after Open and drop
extern DWORD KeepReadOnly;    // opening and dropping refuse read-only files
extern DWORD PaletteAutoLoad; // the palette file name and fixed count are read at start-up
extern char PaletteFileName[MAX_PATH];
extern LONG FixedCount;

// Reads the settings from HKEY_LOCAL_MACHINE\SOFTWARE\Hollowmere\Tintwright (the same
// path under HKEY_CURRENT_USER for users who cannot write the machine key). On a first run
// it creates the key, tells the user to restart and answers false: this run then ends
// without a main window.
bool LoadSettings();
// Writes all five values back.
void SaveSettings();

// For tests: answers whether the machine key may be used; null asks the registry.
extern bool (*MachineKeyWritable)();
