// Images with transparency as the main window shows them: over a checkerboard of grey squares
// of 8 pixels, as image editors show them, at every zoom.
#pragma once

#include <windows.h>

#include <vector>

// The pixels of an image with transparency, red, green, blue and alpha, the top row first, and
// its size: an 8-bit image whose colour table holds each entry's alpha in its fourth byte
// (`translucent`), or a 32-bit one with an alpha channel and a pixel below full alpha. False,
// with nothing in `rgba`, for any other image (and when memory runs out: it is drawn and copied
// as it always was then).
bool RgbaPixelsWithAlpha(const BYTE* bytes, DWORD size, bool translucent, std::vector<BYTE>& rgba,
                         int& width, int& height);

// The same pixels premultiplied, as blue, green, red and alpha, for BlendOnto.
bool TransparentPixelsOf(const BYTE* bytes, DWORD size, bool translucent, std::vector<BYTE>& bgra);

// Fills `area` with the checkerboard, its squares counted from (left, top), so that they move
// with the image.
void FillCheckerboard(HDC dc, const RECT& area, int left, int top);

// Draws the width x height pixels `bgra` (as TransparentPixelsOf gives them) over what the
// window shows, stretched to `area`. False when the platform cannot.
bool BlendOnto(HDC dc, const std::vector<BYTE>& bgra, int width, int height, const RECT& area);
