// Animated GIF files through the Windows Imaging Component: every frame read as a whole frame
// of true colour, and indexed frames on one palette written as an animation.
#pragma once

#include <windows.h>

#include <array>
#include <vector>

#include "core/image/rgba.h"
#include "win/document/codecs.h"

// Frames of one size, in order, each the plain 24-bit BMP file image of its whole picture.
struct DecodedFrames {
    std::vector<std::vector<BYTE>> images;
    std::vector<int> delays; // milliseconds, one a frame
    int loop = -1;           // the count the file gives (0: for ever), or -1: played once
};

// Reads every frame of a GIF of more than one frame, each frame's place, delay, disposal and
// transparency applied (`rule` saying what becomes of transparent pixels), within
// image::kMaxFrames and image::kMaxAnimationPixels (TooLarge past them, checked before a frame
// is allocated). Decoded with no frames for a GIF of one frame, which is read as a still image.
DecodeResult DecodeAnimation(const BYTE* data, DWORD size, const image::AlphaRule& rule,
                             DecodedFrames& frames);

// Whole indexed frames of one palette, to be written as an animated GIF.
struct IndexedAnimation {
    UINT width = 0, height = 0;
    std::vector<std::vector<BYTE>> frames; // width x height indices, the top row first
    std::vector<int> delays;               // milliseconds
    std::array<BYTE, 3 * 256> table{};     // red, green, blue
    int entries = 256;                     // no index reaches it
    bool key = false;                      // entry 0 is transparent
    int loop = -1;                         // as DecodedFrames::loop
};

// The GIF file of the frames: one colour table, the loop count (unless -1), each frame's delay
// (in hundredths of a second, rounded), and after the first frame only the rectangle that
// changed, its unchanged pixels transparent where LZW codes it in fewer bytes
// (image::PiecePlanner). The blocks the codec's metadata writers do not write are put in
// afterwards. False when the codecs fail or memory runs out.
bool EncodeAnimation(const IndexedAnimation& animation, std::vector<BYTE>& gif);
