// GIF reading of arbitrary bytes, as tintwright frames reads its inputs: every file is read
// within its bounds or refused with a reason, each frame whole.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/gif_io.h"
#include "core/image/animation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cli::Animation animation;
    std::string error;
    image::AlphaRule rule;
    rule.keyed = size > 0 && (data[size - 1] & 1) != 0;
    rule.kept = size % 2 == 1; // as frames --alpha reads
    if (!cli::ReadGif(data, size, rule, animation, error)) {
        if (error.empty()) {
            std::abort(); // a refusal says why
        }
        return 0;
    }
    const auto frameSize = image::PlainSize(animation.width, animation.height, rule);
    if (animation.frames.empty() || animation.frames.size() > image::kMaxFrames ||
        animation.frames.size() != animation.delays.size() || !frameSize) {
        std::abort();
    }
    for (const cli::FileBytes& frame : animation.frames) {
        if (frame.size() != *frameSize) {
            std::abort(); // every frame is the whole screen
        }
    }
    return 0;
}
