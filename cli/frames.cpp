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

// One input as read: a GIF's bytes (its frames are drawn in order, later), or a still image
// decoded into a plain 24-bit BMP.
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

bool ReadFrames(const std::vector<std::string>& inputs, int delay, const image::AlphaRule& alpha,
                bool together, Animation& animation, std::string& path, std::string& error) {
    animation.loop = 0;
    // Two inputs are read and decoded at a time (`together`), each by its own thread: at most
    // one image beyond the bounds is ever decoded before they are checked.
    std::future<Input> ahead;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        path = inputs[i];
        Input input;
        if (ahead.valid()) {
            input = ahead.get();
        } else {
            if (together && i + 1 < inputs.size()) { // the next one meanwhile
                ahead = std::async(std::launch::async, ReadInput, std::cref(inputs[i + 1]),
                                   std::cref(alpha));
            }
            input = ReadInput(inputs[i], alpha);
        }
        if (!input.read) {
            error = input.error;
            return false;
        }
        FileBytes& file = input.file;
        if (input.gif) {
            const int loop = animation.loop;
            animation.loop = -1; // unless the GIF says
            if (!ReadGif(file.data(), file.size(), alpha, animation, error)) {
                return false;
            }
            animation.loop = i == 0 ? animation.loop : loop;
            continue;
        }
        std::uint32_t width = 0, height = 0;
        SizeOfBmp(file, width, height);
        if (animation.frames.empty()) {
            animation.width = width;
            animation.height = height;
        } else if (width != animation.width || height != animation.height) {
            error = "an image of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, the frames before it " + std::to_string(animation.width) + " x " +
                    std::to_string(animation.height) + ": every frame must be of one size";
            return false;
        }
        const std::uint64_t frames = animation.frames.size() + 1;
        if (frames > image::kMaxFrames || frames * width * height > image::kMaxAnimationPixels) {
            error = FramesBeyondBounds(frames);
            return false;
        }
        animation.frames.push_back(std::move(file));
        animation.delays.push_back(delay);
    }
    return true;
}

void FrameRelay::Done(std::size_t f) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_ = f + 1;
    }
    changed_.notify_all();
}

void FrameRelay::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

bool FrameRelay::Wait(std::size_t f) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return done_ > f || stopped_; });
    return done_ > f;
}

int WriteFrames(const Options& options, const IndexedFrames& frames,
                const std::vector<std::uint8_t>* gif) {
    std::string error;
    std::vector<std::uint8_t> bytes;
    if (!options.output.empty()) {
        if (gif == nullptr && !EncodeGif(frames, bytes, error)) {
            return Fail(kFileError, options.output, error);
        }
        const std::vector<std::uint8_t>& made = gif != nullptr ? *gif : bytes;
        if (!WriteAtomically(options.output, made.data(), made.size(), error)) {
            return Fail(kFileError, options.output, error);
        }
        return kConverted;
    }
    const bool png = options.format != "bmp";
    const std::string stem = std::filesystem::path(options.inputs[0]).stem().string();
    const std::size_t digits =
        std::max<std::size_t>(3, std::to_string(frames.frames.size()).size());
    std::vector<std::string> names;
    std::set<std::string> inputs;
    for (const std::string& input : options.inputs) {
        inputs.insert(FileIdentity(input));
    }
    for (std::size_t f = 0; f < frames.frames.size(); ++f) {
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
    for (std::size_t f = 0; f < frames.frames.size(); ++f) {
        if (!EncodeFrame(frames, f, png, bytes, error) ||
            !WriteAtomically(names[f], bytes.data(), bytes.size(), error)) {
            return Fail(kFileError, names[f], error);
        }
    }
    return kConverted;
}

} // namespace cli
