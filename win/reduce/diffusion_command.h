// The error-diffusion menu command and its worker thread.
#pragma once

#include <windows.h>

#include "core/quantize/stages.h"

extern LONG RunFixedCount; // fixed colours of the current run

// Asks about the fixed palette, opens the palette dialog the first time it is wanted,
// creates the conversion window and starts the worker, which converts with `stages`:
// kBasicDiffusion for 誤差拡散, kHighQualityDiffusion for 誤差拡散（高画質）. Does nothing
// without an image.
void DiffusionCommand(HWND mainWindow, const quantize::Stages& stages);
