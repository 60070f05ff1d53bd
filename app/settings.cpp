#include "app/settings.h"

DWORD AutoReduce;
DWORD KeepReadOnly;
DWORD PaletteAutoLoad;
char PaletteFileName[MAX_PATH];
LONG FixedCount;

// The registry store is not there yet: every setting keeps its default and the window opens.
bool LoadSettings() {
    return true;
}

void SaveSettings() {}
