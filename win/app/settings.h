// The user's options and palette choice, kept in the registry between runs.
#pragma once

#include <windows.h>

#include "core/quantize/stages.h"

extern DWORD AutoReduce;      // exact reduction right after Open and drop
extern DWORD KeepReadOnly;    // opening and dropping refuse read-only files
extern DWORD PaletteAutoLoad; // the palette file name and fixed count are read at start-up
extern char PaletteFileName[MAX_PATH];
extern LONG FixedCount;
// The choices of 誤差拡散（高画質）: how many colours (2 to 256), the dithering (its number in
// quantize::kDitherings: 0 誤差拡散, 1 網点, 2 なし as they always were, then the newer
// ones), its strength in percent, whether entry 0 is a transparent key colour, and whether
// the error is diffused in linear light; and its effort (1 to 10, 5 the method as it always
// was; the dialog's 品質 chooses one of kQualityEfforts).
extern DWORD QualityColours;
extern DWORD QualityDither;
extern DWORD QualityStrength;
extern DWORD QualityKey;
extern DWORD QualityLinear;
extern DWORD QualityEffort;
inline constexpr DWORD kQualityEfforts[3] = {1, 5, 10}; // 速い, 標準, 最高
extern DWORD NoUnsavedPrompt; // closing or opening over an unsaved conversion asks nothing
extern DWORD QuietRuns;       // error diffusion shows no box for its stages

// Reads the settings from HKEY_LOCAL_MACHINE\SOFTWARE\Hollowmere\Tintwright (the same
// path under HKEY_CURRENT_USER for users who cannot write the machine key). On a first run
// it creates the key, tells the user to restart and answers false: this run then ends
// without a main window.
bool LoadSettings();
// Writes all the values back.
void SaveSettings();

// The stages and choices of 誤差拡散（高画質） as the settings say.
quantize::Stages QualityStages();
quantize::Choices QualityChoices();

// For tests: answers whether the machine key may be used; null asks the registry.
extern bool (*MachineKeyWritable)();
