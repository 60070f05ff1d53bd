// The error-diffusion menu commands.
#pragma once

#include <windows.h>

#include "core/quantize/stages.h"
#include "win/reduce/conversion_run.h"

#include <cstdint>
#include <vector>

// The list the current high-quality run takes its colours from (0x00RRGGBB), empty for none.
extern std::vector<std::uint32_t> RunFromColours;

// Refuses, with the reason told, a high-quality run whose 選択元パレット cannot be used; asks
// about the fixed palette, opens the palette dialog the first time it is wanted,
// creates the conversion window and starts the worker, which converts with `stages`:
// kBasicDiffusion for 誤差拡散, kHighQualityDiffusion for 誤差拡散（高画質）. Does nothing
// without an image.
void DiffusionCommand(HWND mainWindow, const quantize::Stages& stages);
