// GIF files through Debian's giflib: every frame of an animation read as a whole frame of
// true colour, and indexed frames written as an animation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/file_io.h"
#include "core/image/animation.h"
#include "core/image/rgba.h"

namespace cli {

// Frames of one size, in order, each the plain 24-bit BMP file image of its pixels, with the
// time it shows; and how often the animation plays again.
struct Animation {
    std::uint32_t width = 0, height = 0;
    std::vector<FileBytes> frames;
    std::vector<int> delays; // milliseconds, one a frame
    int loop = -1;           // the count a GIF gives (0: for ever), or -1: played once
    // frames[k] is frame k * spacing of the animation (ReadFrames may keep every 2nd, 4th...),
    // `delays` holding every frame's.
    std::size_t spacing = 1;
};

// Whether the bytes begin as a GIF does.
bool IsGif(const std::uint8_t* data, std::size_t size);

// How many frames may be read, and how many pixels: of the whole frames together (each a whole
// screen) and of the pieces a GIF stores together, checked before anything is allocated for a
// frame.
struct FrameBounds {
    std::uint64_t frames = image::kMaxFrames;
    std::uint64_t pixels = image::kMaxAnimationPixels;
};

// Why the frames read so far, `frames` of them, are more than `bounds` allow.
std::string FramesBeyondBounds(std::uint64_t frames, const FrameBounds& bounds);

// The frames of one GIF, read one at a time, each as the plain file image of the whole screen
// as shown (the frame's delay, disposal and transparency applied); `rule` says what becomes of
// transparent pixels. The GIF's bytes stay the caller's, and must outlive the reader.
class GifReader {
  public:
    GifReader();
    ~GifReader();
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;

    // Reads the GIF's header. False, with why in `error`.
    bool Open(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
              std::string& error);
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    // The loop count the GIF gave so far (0: for ever), or -1.
    int loop() const { return loop_; }

    enum class Read { Frame, End, Failed };
    // The next frame and its delay (milliseconds), `before` frames having been read before it
    // (of this GIF and others), all within `bounds`. End after the last frame (a GIF without a
    // frame Failed); Failed, with why in `error`, for a file that cannot be read whole (cut
    // short, damaged, out of bounds).
    Read Next(std::uint64_t before, const FrameBounds& bounds, FileBytes& frame, int& delay,
              std::string& error);

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::uint32_t width_ = 0, height_ = 0;
    int loop_ = -1;
};

// Reads every frame of a GIF into `animation` (empty before), each frame's delay, disposal and
// transparency applied; `rule` says what becomes of transparent pixels. Within the default
// FrameBounds. False, with why in `error`, for a file that cannot be read whole.
bool ReadGif(const std::uint8_t* data, std::size_t size, const image::AlphaRule& rule,
             Animation& animation, std::string& error);

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
// and answers false when it will never be (the GIF is then given up, `error` empty); and
// stored(f) says that frame f is stored, its indices no longer read.
bool EncodeGif(const IndexedFrames& frames, std::vector<std::uint8_t>& gif, std::string& error,
               const std::function<bool(std::size_t)>& ready = {},
               const std::function<void(std::size_t)>& stored = {});

} // namespace cli
