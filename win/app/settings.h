// The user's options and palette choice, kept in the registry between runs.
#pragma once

#include <windows.h>

#include <array>

#include "core/quantize/stages.h"
#include "core/tiles/tiles.h"

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
// The bits of red, green and blue the device shows: an index of kQualityDepths (0, all 8
// bits, by default).
extern DWORD QualityDepth;
inline constexpr int kQualityDepthCount = 7;
inline constexpr std::array<int, 3> kQualityDepths[kQualityDepthCount] = {
    {8, 8, 8}, {5, 5, 5}, {5, 6, 5}, {4, 4, 4}, {3, 3, 3}, {2, 2, 2}, {3, 3, 2}};
// The bits a pixel of a saved 8-bit image: an index of kQualityBitCounts, whose 0 is the
// fewest that hold every index the pixels use (8 for BMP).
extern DWORD QualityBits;
inline constexpr int kQualityBitChoices = 5;
inline constexpr int kQualityBitCounts[kQualityBitChoices] = {8, 4, 2, 1, 0};
// The order of the chosen entries in the palette: a quantize::EntryOrder (0, as chosen, by
// default).
extern DWORD QualityOrder;
// The list the chosen colours are taken from: a palette file, one of the named palettes
// (palette::kPaletteNames), or empty for none.
extern char QualityFrom[MAX_PATH];
// Whether an image opened with transparency keeps its alpha (else it is composited onto white),
// and 誤差拡散（高画質） of such an image chooses entries with alpha, for PNG.
extern DWORD QualityAlpha;
// The tile rule of タイル: a tile's width and height, the palettes, the entries of each and
// the entries every palette shares (a shape tiles::CheckShape finds fine, else the defaults:
// the fields of tiles::TileShape); and the device chosen by name (tiles::kTargets), whose
// depth the run takes, or empty for カスタム, which takes 高画質の設定's 色の深さ. A name
// that is no device, or one whose shape is not the numbers', reads as カスタム.
extern DWORD TileWidth;
extern DWORD TileHeight;
extern DWORD TilePalettes;
extern DWORD TileSize;
extern DWORD TileShared;
extern char TileTarget[16];
extern DWORD NoUnsavedPrompt; // closing or opening over an unsaved conversion asks nothing
extern DWORD QuietRuns;       // error diffusion shows no box for its stages
extern DWORD StatusBarShown;  // the main window shows its status bar

// Reads the settings from HKEY_LOCAL_MACHINE\SOFTWARE\Hollowmere\Tintwright (the same
// path under HKEY_CURRENT_USER for users who cannot write the machine key). On a first run
// it creates the key, tells the user to restart and answers false: this run then ends
// without a main window.
bool LoadSettings();
// Writes all the values back.
void SaveSettings();

// The stages and choices of 誤差拡散（高画質） as the settings say.
quantize::Stages QualityStages();
// Their colours are no more than the saved bits hold.
quantize::Choices QualityChoices();
// The bits of QualityBits (1, 2, 4 or 8), 0 for the fewest that hold the pixels.
int QualityBitCount();

// The shape of タイル as the settings say, its depth the device's or 高画質の設定's.
tiles::TileShape TileShapeSetting();
// The device of TileTarget, or null for カスタム.
const tiles::Target* TileTargetSetting();

// For tests: answers whether the machine key may be used; null asks the registry.
extern bool (*MachineKeyWritable)();
