// The frames command's files: the inputs read as the frames of one animation, and the
// converted frames written as an animated GIF or a set of numbered images on one palette.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/gif_io.h"
#include "cli/options.h"
#include "core/image/rgba.h"

namespace cli {

// The frames of the inputs, in order, read one at a time: a GIF's every frame with its delay,
// any other image (BMP, PNG, JPEG) one frame of `delay` milliseconds; all of one size, each of
// at most image::kMaxAnimationPixels pixels, within `bounds` together. The loop count is the
// first input's when that is a GIF, else 0 (for ever). With `together`, two still inputs are
// read at a time, on two threads.
class FrameReader {
  public:
    FrameReader(const std::vector<std::string>& inputs, int delay, const image::AlphaRule& rule,
                bool together, const FrameBounds& bounds);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // The next frame, a plain file image, and its delay: true; false at the end (error()
    // empty) or on a failure, with the input at fault in path() and why in error().
    bool Next(FileBytes& frame, int& delay);
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    int loop() const { return loop_; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

  private:
    bool Fail(const std::string& why);
    bool TakeSize(std::uint32_t width, std::uint32_t height);

    struct Ahead;
    const std::vector<std::string>& inputs_;
    int delay_;
    image::AlphaRule rule_;
    bool together_;
    FrameBounds bounds_;
    std::size_t input_ = 0;    // the input read next
    std::uint64_t frames_ = 0; // the frames read
    FileBytes gifFile_;        // the GIF being read
    std::unique_ptr<GifReader> gif_;
    std::unique_ptr<Ahead> ahead_; // the next still input, read meanwhile
    std::uint32_t width_ = 0, height_ = 0;
    int loop_ = 0;
    std::string path_, error_;
};

// Reads every frame of the inputs (a FrameReader within image::kMaxStreamedPixels) and keeps in
// `animation` the frames that `budget` pixels hold, spread evenly: all of them when they fit,
// else every `spacing`-th (2, 4, 8, ...; animation.frames[k] is frame k * spacing), for the
// palette; the delays of all, and the loop count. False, with the input at fault in `path`
// and why in `error`.
bool ReadFrames(const std::vector<std::string>& inputs, int delay, const image::AlphaRule& alpha,
                bool together, Animation& animation, std::string& path, std::string& error,
                std::uint64_t budget = image::kMaxAnimationPixels);

// The numbered files of -d DIR, STEM_001.png, STEM_002.png and so on (.bmp with --format bmp),
// STEM the first input's name without its extension, for `count` frames, the folder made. A
// name that is one of the inputs is refused. The exit code, the failure told.
int NameFrameFiles(const Options& options, std::size_t count, std::vector<std::string>& names);

// Writes frame f as an 8-bit PNG or BMP file (--format), atomically. The exit code.
int WriteFrameFile(const Options& options, const IndexedFrames& frames, std::size_t f,
                   const std::string& name);

// Frames handed on, in order, from the thread that dithers them to the one that writes them.
// The thread that dithers keeps at most kAhead frames ahead of the one that writes them.
class FrameRelay {
  public:
    static constexpr std::size_t kAhead = 16;
    // Frame f, and every frame before it, is there.
    void Done(std::size_t f);
    // No more frames will come.
    void Stop();
    // Waits until frame f is there; false when the frames stopped before it.
    bool Wait(std::size_t f);
    // Frame f, and every frame before it, is written.
    void Stored(std::size_t f);
    // The writer stores no more frames (all are stored, or it failed).
    void WriterEnded();
    // Waits until frame f may be made: the writer has stored all but kAhead frames before it,
    // or has ended.
    void WaitForRoom(std::size_t f);

  private:
    // Sets a field under the lock and wakes the waiting thread.
    template <typename T> void Set(T& field, T value) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            field = value;
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;   // frames there
    std::size_t stored_ = 0; // frames written
    bool stopped_ = false, writerEnded_ = false;
};

} // namespace cli
