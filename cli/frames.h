// The frames command's files: the inputs read as the frames of one animation, and the
// converted frames written as an animated GIF or a set of numbered images on one palette.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/gif_io.h"
#include "cli/options.h"
#include "core/image/rgba.h"

namespace cli {

// Reads the inputs in order as frames: a GIF's every frame with its delay, any other image
// (BMP, PNG, JPEG) one frame of `delay` milliseconds; all of one size. The loop count is the
// first input's when that is a GIF, else 0 (for ever). With `together`, two inputs are read
// at a time, on two threads. False, with the input at fault in `path` and why in `error`.
bool ReadFrames(const std::vector<std::string>& inputs, int delay, const image::AlphaRule& alpha,
                bool together, Animation& animation, std::string& path, std::string& error);

// Writes the frames: to -o as an animated GIF, or to -d DIR as STEM_001.png, STEM_002.png
// and so on (.bmp with --format bmp), STEM the first input's name without its extension,
// every file atomically. A numbered name that is one of the inputs is refused before any
// file is written. Returns the exit code, the failure told.
// With `gif`, the GIF was made already (alongside the dithering): its bytes are written.
int WriteFrames(const Options& options, const IndexedFrames& frames,
                const std::vector<std::uint8_t>* gif = nullptr);

// Frames handed on, in order, from the thread that dithers them to the one that writes them.
class FrameRelay {
  public:
    // Frame f, and every frame before it, is there.
    void Done(std::size_t f);
    // No more frames will come.
    void Stop();
    // Waits until frame f is there; false when the frames stopped before it.
    bool Wait(std::size_t f);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0; // frames there
    bool stopped_ = false;
};

} // namespace cli
