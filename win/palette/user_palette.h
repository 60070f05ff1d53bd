// The user palette: its process-wide tables, and reading and writing palette files.
#pragma once

#include <windows.h>

// A PaletteTable is a movable, zero-initialised global block of 1024 bytes: 256 entries of
// blue, green, red and a reserved byte.
extern HGLOBAL SavedPalette; // kept between openings of the palette dialog; null before
extern HGLOBAL EditPalette;  // the working copy while the dialog is open

// A new all-black table, or null when memory runs out.
HGLOBAL NewPaletteTable();

enum class PaletteRead {
    Read,       // all 256 entries were set from the file
    CannotOpen, // the table is untouched
    CannotRead, // the file opened but reading it failed; the table is untouched
};

// Fills all 256 entries of `table` from the named file (the long format for z names), as
// palette::DecodePaletteFile reads it: entries a short file does not reach are black, but
// for a long-format file that ends within its first records.
PaletteRead ReadPaletteFile(const char* name, HGLOBAL table);

// Writes `table` in the 768-byte format, asking first about a z name (which becomes ".pal"
// on OK) and about overwriting an existing file; reports failures in message boxes owned
// by `owner`. True when the file was written; `written` (MAX_PATH bytes) then holds the
// name it was written under.
bool WritePaletteFile(HWND owner, const char* name, HGLOBAL table, char* written);
