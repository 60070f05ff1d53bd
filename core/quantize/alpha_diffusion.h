// High-quality error diffusion that keeps transparency: the source's pixels with their alpha,
// a palette of entries with alpha chosen for them, the dithering onto it, and the indexed
// image written in place as an 8-bit file image whose colour table holds each entry's alpha in
// its fourth byte. Only a PNG can keep that alpha; the front ends write nothing else of it.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/alpha_palette.h"
#include "core/quantize/alpha_remap.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/outcome.h"

namespace quantize {

struct AlphaInput {
    AlphaChoices palette;
    AlphaDithering dithering;
};

// The pixels of a file image as red, green, blue and alpha, the top row first: a true-colour
// one (any layout CheckTrueColourSource accepts) with alpha from a 32-bit image's alpha channel
// (bmp::AlphaChannelOf), 255 where it has none; an indexed one opaque, expanded as the
// high-quality method expands it. Converted, or why the image is refused.
Outcome RgbaPixelsOf(const std::uint8_t* data, std::uint64_t size, std::vector<std::uint8_t>& rgba,
                     std::uint64_t& width, std::uint64_t& height);

// Converts the file image data[0, size) into an 8-bit file image of 1078 + rows * W4 bytes:
// a 40-byte header, a colour table of 256 entries (blue, green, red, alpha; biClrUsed says how
// many the palette has, the rest 0), the rows bottom-up. A refusal or a lack of memory leaves
// the image as it was.
Result DiffuseWithAlpha(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                        const AlphaInput& input);

// The palette of several images' pixels together, as if they were one image.
Outcome AlphaPaletteOfImages(const std::vector<ImageBytes>& images, const AlphaChoices& choices,
                             AlphaPalette& palette, std::size_t& refused);

} // namespace quantize
