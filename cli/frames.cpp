#include "cli/frames.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <set>

#include "cli/batch.h"
#include "cli/image_io.h"
#include "core/bmp/layout.h"
#include "core/image/animation.h"
#include "core/quantize/bmp_writer.h"

namespace cli {
namespace {

// The width and height a BMP file image's header gives, or 0 x 0.
void SizeOfBmp(const FileBytes& bmp, std::uint32_t& width, std::uint32_t& height) {
    width = height = 0;
    if (bmp.size() >= bmp::kHeadersSize) {
        const std::int32_t w = bmp::ReadS32(bmp.data() + bmp::kBiWidth);
        const std::int32_t h = bmp::ReadS32(bmp.data() + bmp::kBiHeight);
        width = w > 0 ? static_cast<std::uint32_t>(w) : 0;
        height = h == INT32_MIN ? 0 : static_cast<std::uint32_t>(h < 0 ? -h : h);
    }
}

// The file of one frame: an 8-bit PNG or BMP.
bool EncodeFrame(const IndexedFrames& frames, std::size_t f, bool png,
                 std::vector<std::uint8_t>& out, std::string& error) {
    quantize::IndexedImage view;
    view.width = frames.width;
    view.rows = frames.height;
    view.table = frames.table;
    view.entries = frames.entries;
    view.key = frames.key;
    view.translucent = frames.translucent;
    view.alpha = frames.alpha;
    if (png) {
        view.stride = frames.width;
        view.indices = frames.frames[f].data();
        view.topDown = true;
        return EncodePng(view, out, error);
    }
    out = quantize::Bmp8OfIndices(frames.width, frames.height, frames.frames[f].data(), view);
    return true;
}

} // namespace

namespace {

// One still input as read, decoded into a plain file image; or a GIF's bytes, whose frames are
// read later.
struct Input {
    FileBytes file;
    bool gif = false;
    bool read = false;
    std::string error;
};

Input ReadInput(const std::string& path, const image::AlphaRule& alpha) {
    Input input;
    input.read = ReadWholeFile(path, input.file, input.error);
    input.gif = input.read && IsGif(input.file.data(), input.file.size());
    if (input.read && !input.gif) {
        input.read = ReadImageFile(path, alpha, input.file, input.error);
    }
    return input;
}

} // namespace

struct FrameReader::Ahead {
    std::future<Input> input;
};

FrameReader::FrameReader(const std::vector<std::string>& inputs, int delay,
                         const image::AlphaRule& rule, bool together, const FrameBounds& bounds)
    : inputs_(inputs), delay_(delay), rule_(rule), together_(together), bounds_(bounds),
      ahead_(std::make_unique<Ahead>()) {}

FrameReader::~FrameReader() {
    if (ahead_->input.valid()) {
        ahead_->input.wait();
    }
}

bool FrameReader::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool FrameReader::TakeSize(std::uint32_t width, std::uint32_t height) {
    if (frames_ == 0) {
        width_ = width;
        height_ = height;
    } else if (width != width_ || height != height_) {
        return Fail("an image of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, the frames before it " + std::to_string(width_) + " x " +
                    std::to_string(height_) + ": every frame must be of one size");
    }
    if (std::uint64_t{width} * height > image::kMaxAnimationPixels) {
        return Fail("a frame of more than " + std::to_string(image::kMaxAnimationPixels) +
                    " pixels");
    }
    return true;
}

bool FrameReader::Next(FileBytes& frame, int& delay) {
    error_.clear();
    while (gif_) {
        switch (gif_->Next(frames_, bounds_, frame, delay, error_)) {
        case GifReader::Read::Frame:
            ++frames_;
            return true;
        case GifReader::Read::End:
            loop_ = input_ == 1 ? gif_->loop() : loop_;
            gif_.reset();
            FileBytes().swap(gifFile_);
            break;
        case GifReader::Read::Failed:
            return false;
        }
    }
    if (input_ == inputs_.size()) {
        return false;
    }
    path_ = inputs_[input_];
    // Two inputs are read and decoded at a time (`together`), each by its own thread: at most
    // one image beyond the bounds is ever decoded before they are checked.
    Input input;
    if (ahead_->input.valid()) {
        input = ahead_->input.get();
    } else {
        if (together_ && input_ + 1 < inputs_.size()) { // the next one meanwhile
            ahead_->input = std::async(std::launch::async, ReadInput,
                                       std::cref(inputs_[input_ + 1]), std::cref(rule_));
        }
        input = ReadInput(inputs_[input_], rule_);
    }
    ++input_;
    if (!input.read) {
        return Fail(input.error);
    }
    if (input.gif) {
        gifFile_ = std::move(input.file);
        gif_ = std::make_unique<GifReader>();
        if (!gif_->Open(gifFile_.data(), gifFile_.size(), rule_, error_)) {
            return false;
        }
        if (!TakeSize(gif_->width(), gif_->height())) {
            return false;
        }
        return Next(frame, delay);
    }
    std::uint32_t width = 0, height = 0;
    SizeOfBmp(input.file, width, height);
    if (!TakeSize(width, height)) {
        return false;
    }
    if (++frames_ > bounds_.frames || frames_ * width * height > bounds_.pixels) {
        return Fail(FramesBeyondBounds(frames_, bounds_));
    }
    frame = std::move(input.file);
    delay = delay_;
    return true;
}

bool ReadFrames(const std::vector<std::string>& inputs, int delay, const image::AlphaRule& alpha,
                bool together, Animation& animation, std::string& path, std::string& error,
                std::uint64_t budget) {
    FrameReader reader(inputs, delay, alpha, together,
                       {image::kMaxFrames, image::kMaxStreamedPixels});
    animation.spacing = 1;
    FileBytes frame;
    int shows = 0;
    for (std::size_t f = 0; reader.Next(frame, shows); ++f) {
        animation.delays.push_back(shows);
        const std::uint64_t pixels = std::uint64_t{reader.width()} * reader.height();
        if (f % animation.spacing == 0 && (animation.frames.size() + 1) * pixels > budget) {
            // Every other frame kept gives way, and half as many are kept from here on.
            for (std::size_t k = 1; 2 * k < animation.frames.size(); ++k) {
                animation.frames[k] = std::move(animation.frames[2 * k]);
            }
            animation.frames.resize((animation.frames.size() + 1) / 2);
            animation.spacing *= 2;
        }
        if (f % animation.spacing == 0) {
            animation.frames.push_back(std::move(frame));
        }
    }
    path = reader.path();
    error = reader.error();
    animation.width = reader.width();
    animation.height = reader.height();
    animation.loop = reader.loop();
    return error.empty();
}

void FrameRelay::Done(std::size_t f) {
    Set(done_, f + 1);
}

void FrameRelay::Stop() {
    Set(stopped_, true);
}

bool FrameRelay::Wait(std::size_t f) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_ > f || stopped_; });
    return done_ > f;
}

void FrameRelay::Stored(std::size_t f) {
    Set(stored_, f + 1);
}

void FrameRelay::WriterEnded() {
    Set(writerEnded_, true);
}

void FrameRelay::WaitForRoom(std::size_t f) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stored_ + kAhead > f || writerEnded_; });
}

int NameFrameFiles(const Options& options, std::size_t count, std::vector<std::string>& names) {
    const bool png = options.format != "bmp";
    const std::string stem = std::filesystem::path(options.inputs[0]).stem().string();
    const std::size_t digits = std::max<std::size_t>(3, std::to_string(count).size());
    std::set<std::string> inputs;
    for (const std::string& input : options.inputs) {
        inputs.insert(FileIdentity(input));
    }
    names.clear();
    for (std::size_t f = 0; f < count; ++f) {
        std::string number = std::to_string(f + 1);
        number.insert(0, digits - number.size(), '0');
        names.push_back((std::filesystem::path(options.directory) /
                         (stem + "_" + number + (png ? ".png" : ".bmp")))
                            .string());
        if (inputs.count(FileIdentity(names.back())) != 0) {
            return Fail(kUsageError, names.back(), "a frame would be written over an input");
        }
    }
    std::error_code failure;
    std::filesystem::create_directories(options.directory, failure);
    if (failure) {
        return Fail(kFileError, options.directory, failure.message());
    }
    return kConverted;
}

int WriteFrameFile(const Options& options, const IndexedFrames& frames, std::size_t f,
                   const std::string& name) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!EncodeFrame(frames, f, options.format != "bmp", bytes, error) ||
        !WriteAtomically(name, bytes.data(), bytes.size(), error)) {
        return Fail(kFileError, name, error);
    }
    return kConverted;
}

} // namespace cli
