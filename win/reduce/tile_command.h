// The タイル menu command: the image in tiles, each drawn with one of a few small palettes.
#pragma once

#include <windows.h>

// Refuses an image the run would refuse, asks about the fixed palette (which goes into the
// shared entries: a rule with fewer is told and not run), creates the conversion window and
// starts the worker, which converts by the tile settings with 高画質の設定's dithering.
// Does nothing without an image.
void TileCommand(HWND mainWindow);
