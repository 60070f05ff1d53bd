// Error diffusion: assembles a 256-colour palette (the user's fixed colours, the basic
// colours and the image's most frequent other colours), maps every pixel to its nearest
// palette colour passing the error on to three neighbours, and rewrites the image in place
// as an 8-bit BMP. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/reduce/diffusion_types.h"
#include "core/reduce/outcome.h"
#include "core/reduce/rewrite.h"
#include "core/reduce/true_colour.h"

namespace reduce {

// Runs the whole conversion on the file image data[0, size), from any layout
// CheckTrueColourSource accepts; the result is that of the plain 24-bit image.
Result DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                    const DiffusionInput& input, DiffusionObserver& observer);

} // namespace reduce
