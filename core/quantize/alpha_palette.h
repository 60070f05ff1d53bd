// The palette of an image with transparency: entries of red, green, blue and alpha chosen for
// the image, as an 8-bit PNG holds them (its PLTE and tRNS). Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

#include "core/quantize/alpha_space.h"

namespace quantize {

// What the palette is chosen for.
struct AlphaChoices {
    int colours = 256; // 2 to 256
    AlphaWeighting weighting = AlphaWeighting::Straight;
    // With `key`, entry 0 is the transparent entry, of this colour, whether or not a pixel
    // takes it.
    bool key = false;
    RgbaEntry keyColour = {};
    // Threads of the k-means passes: 1 or 2, or 0 for two where there are many colours and two
    // processors. The same palette comes out either way.
    int threads = 0;
};

struct AlphaPalette {
    std::array<RgbaEntry, 256> entries{};
    int count = 0;
};

// The palette of `count` pixels (red, green, blue, alpha each). Every fully transparent pixel
// counts as one colour, which takes one entry (entry 0 with the key colour). An image of at
// most `colours` colours gets exactly its own; any other, boxes of least squared error split
// one at a time, then refined by k-means passes, the transparent entry fixed. The entries with
// alpha below 255 come first, the most transparent first, so that a PNG's tRNS stays short.
// May throw std::bad_alloc.
AlphaPalette ChooseAlphaPalette(const std::uint8_t* rgba, std::uint64_t count,
                                const AlphaChoices& choices);

} // namespace quantize
