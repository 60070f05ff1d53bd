// The user palette: its process-wide tables, and reading and writing palette files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "core/palette/palette_formats.h"

// A PaletteTable is a movable, zero-initialised global block of 1024 bytes: 256 entries of
// blue, green, red and a reserved byte.
extern HGLOBAL SavedPalette; // kept between openings of the palette dialog; null before
extern HGLOBAL EditPalette;  // the working copy while the dialog is open
// How many colours SavedPalette was filled with (from a file that says so, or from an
// image); 0 when nothing said. A palette saved while 使用数 is 0 holds that many.
extern int SavedPaletteColours;

// A new all-black table, or null when memory runs out.
HGLOBAL NewPaletteTable();

enum class PaletteRead {
    Read,       // all 256 entries were set from the file
    CannotOpen, // the table is untouched
    CannotRead, // the file opened but reading it failed, or it is malformed; the table is untouched
    TooLarge,   // more than palette::kMaxPaletteFileBytes: refused unread; the table is untouched
};

// Fills all 256 entries of `table` from the named file, as palette::ReadPalette reads it: the
// other tools' formats by their content, any other file in the plain format (the long one for
// z names), entries a short file does not reach black. `facts` tell how many colours the
// file says it holds. No more than one byte past palette::kMaxPaletteFileBytes is read.
PaletteRead ReadPaletteFile(const char* name, HGLOBAL table, palette::PaletteFileFacts& facts);

// The colours (0x00RRGGBB) of the named palette file in its order, for a list the chosen
// colours are taken from (palette::ReadColourList), read as ReadPaletteFile reads; `colours`
// is empty unless the result is Read (a malformed, empty or too long list is CannotRead).
PaletteRead ReadColourListFile(const char* name, std::vector<std::uint32_t>& colours);

// The message of a read that failed: ファイルが開けません, ファイルが大きすぎです or
// ファイルが読めません.
const char* PaletteReadText(PaletteRead read);

// Writes the first `colours` entries of `table` in the format the name's extension asks for
// (palette::FormatOfName: .gpl, .act, .hex, .h, each holding that many colours; anything
// else the 768 bytes of all 256 entries), asking first about a z name (which becomes ".pal" on
// OK) and about overwriting an existing file; reports failures in message boxes owned by
// `owner`. True when the file was written; `written` (MAX_PATH bytes) then holds the name it
// was written under.
bool WritePaletteFile(HWND owner, const char* name, HGLOBAL table, int colours, char* written);
