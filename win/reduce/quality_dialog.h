// The high-quality settings dialog: how many colours 誤差拡散（高画質） makes, its dithering (a
// kernel of error diffusion with its strength and light, a pattern, or none), the
// transparent key colour, the device's channel depth, the palette the colours are taken from
// and the bits a pixel of saved images.
#pragma once

#include <windows.h>

// Runs the dialog modally; OK keeps the choices (held to their ranges), Cancel changes nothing.
void RunQualityDialog(HWND owner);
