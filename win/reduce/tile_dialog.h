// The tile settings dialog: a device's preset or カスタム, a tile's width and height, the
// palettes, the entries of each and the entries every palette shares.
#pragma once

#include <windows.h>

// Runs the dialog modally; OK keeps the numbers once they make a tile rule (else it tells what
// is wrong and stays open), Cancel changes nothing.
void RunTileDialog(HWND owner);
