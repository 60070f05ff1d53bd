// The blocks of a GIF file around its frames' pixels: each frame's graphic control (delay,
// disposal, transparent index) and place on the screen, and the loop count, put into a file
// whose encoder wrote the pixels but not these. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image/animation.h"

namespace image {

// What a frame's blocks say besides its pixels.
struct FrameBlock {
    std::uint32_t left = 0, top = 0; // its place on the screen
    int delay = 0;                   // hundredths of a second
    bool clears = false;             // cleared to transparent once shown, else kept
    int transparent = -1;            // the index left undrawn, or -1
};

// The GIF of `gif` with, before each frame that has no graphic control block of its own, one
// that `frames` gives, each frame placed where `frames` says (without a colour table of its own
// that is the file's), and, with `loop` 0 or more and no application block in the file, the
// loop count's. Empty when the bytes are not a whole GIF of
// frames.size() frames.
std::vector<std::uint8_t> WithFrameBlocks(const std::uint8_t* gif, std::size_t size,
                                          const std::vector<FrameBlock>& frames, int loop);

} // namespace image
