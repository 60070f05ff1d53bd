// GIF files through Debian's giflib: every frame of an animation read as a whole frame of
// true colour, and indexed frames written as an animation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/file_io.h"
#include "core/image/rgba.h"

namespace cli {

// Frames of one size, in order, each the plain 24-bit BMP file image of its pixels, with the
// time it shows; and how often the animation plays again.
struct Animation {
    std::uint32_t width = 0, height = 0;
    std::vector<FileBytes> frames;
    std::vector<int> delays; // milliseconds, one a frame
    int loop = -1;           // the count a GIF gives (0: for ever), or -1: played once
};

// Whether the bytes begin as a GIF does.
bool IsGif(const std::uint8_t* data, std::size_t size);

// Appends every frame of a GIF to `animation` (whose size, once it holds frames, the GIF's
// screen must have), each frame's delay, disposal and transparency applied; `rule` says what
// becomes of transparent pixels. Within image::kMaxFrames and kMaxAnimationPixels counted
// with the frames already there, checked before a frame is allocated. False, with why in
// `error`, for a file that cannot be read whole (cut short, damaged, out of bounds).
bool ReadGif(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
             Animation& animation, std::string& error);

// Why the frames read so far, `frames` of them, are more than can be read: too many frames, or
// too many pixels (image::kMaxFrames, kMaxAnimationPixels).
std::string FramesBeyondBounds(std::uint64_t frames);

// Whole indexed frames of one palette, to be written as an animated GIF.
struct IndexedFrames {
    std::uint32_t width = 0, height = 0;
    std::vector<std::vector<std::uint8_t>> frames; // width x height indices, top row first
    std::vector<int> delays;                       // milliseconds
    std::array<std::uint8_t, 3 * 256> table{};     // red, green, blue
    int entries = 256;                             // no index reaches it
    bool key = false;                              // entry 0 is transparent
    int loop = 0;                                  // as Animation::loop
    // With `translucent`, each entry's alpha instead of the key (numbered PNG files only).
    bool translucent = false;
    std::array<std::uint8_t, 256> alpha{};
};

// The GIF file of the frames: one colour table, the loop count (unless -1), each frame's
// delay (in hundredths of a second, rounded), and after the first frame only the rectangle
// that changed, its unchanged pixels transparent where that makes it simpler (PiecePlanner).
// False, with why in `error`.
// With `ready`, the frames are made while the GIF is: ready(f) waits until frame f is there
// and answers false when it will never be (the GIF is then given up, `error` empty).
bool EncodeGif(const IndexedFrames& frames, std::vector<std::uint8_t>& gif, std::string& error,
               const std::function<bool(std::size_t)>& ready = {});

} // namespace cli
