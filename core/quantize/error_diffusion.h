// Error diffusion, as its stages: the source's rows, a palette (the user's fixed colours, then
// the 42 basic colours and the image's most frequent others, or colours chosen for the image),
// the palette fitted to the dithering where the stages say so, the dithering, and the indexed
// image written in place as an 8-bit BMP. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/dither.h"
#include "core/quantize/observer.h"
#include "core/quantize/outcome.h"
#include "core/quantize/stages.h"

namespace quantize {

// Runs the whole conversion on the file image data[0, size), from any layout
// CheckTrueColourSource accepts; the result is that of the plain 24-bit image. Everything the
// run needs is set aside, and the block grown, before any pixel changes: a refusal or a lack
// of memory leaves the image as it was.
Result DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                    const DiffusionInput& input, DiffusionObserver& observer);

// Whether DiffuseImage refines the dithering (refine.h), which takes a byte a pixel and a few
// rows more: at an effort that does, after an error-diffusion kernel that passes errors on.
bool Refines(const DiffusionInput& input);

// How DiffuseImage would refuse the image for its layout alone, before it counts a colour:
// Converted for a layout it converts (an indexed image that the adaptive palette takes is
// unpacked to be sure of it, as the run would; NoMemory when that fails). Changes nothing.
Outcome CheckDiffusionSource(const std::uint8_t* data, std::uint64_t size, const Stages& stages);

// The palette DiffuseImage would dither the image onto (its entries: red, green, blue,
// flags), worked out without changing the image. Converted when `palette` was set; otherwise
// why not, as DiffuseImage would refuse.
Outcome PaletteOfImage(const std::uint8_t* data, std::uint64_t size, const DiffusionInput& input,
                       DiffusionObserver& observer, DiffusionPalette& palette);

// A file image in memory.
struct ImageBytes {
    const std::uint8_t* data;
    std::uint64_t size;
    bool fits = true; // of several images, whether the palette is fitted to its dithering
};

// The palette of several images together, as if they were one image, the first one's rows
// above the second's and so on: their colours counted together, each pixel once, so that a
// large image weighs more than a small one; fitted, where the stages say so, to the dithering
// of each image that `fits` at once. The same for one image as PaletteOfImage. When an image is
// refused, `refused` is its place in `images`. With `facts`, what the palette stage found is told
// there, for the ditherings that follow (MakeDitherer).
Outcome PaletteOfImages(const std::vector<ImageBytes>& images, const DiffusionInput& input,
                        DiffusionObserver& observer, DiffusionPalette& palette,
                        std::size_t& refused, PaletteFacts* facts = nullptr);

// The plain 24-bit rows of an image as the stages read it, the top row first, row y at
// y * geometry.stride (which then says topDown): an indexed image expanded where the
// adaptive palette takes it, and with `key` (blue, green, red) the fully transparent pixels
// of a 32-bit image of that colour. Converted, or why the image is refused.
Outcome PlainRowsOf(const std::uint8_t* data, std::uint64_t size, const Stages& stages,
                    const std::uint8_t* key, std::vector<std::uint8_t>& rows,
                    bmp::TrueColourGeometry& geometry);

// The dithering stage: a ditherer of images of this geometry onto a palette, with the facts
// of the stage that chose it. May throw std::bad_alloc.
std::unique_ptr<Ditherer> MakeDitherer(DitherMethod method, const bmp::TrueColourGeometry& g,
                                       const DiffusionPalette& palette, const PaletteFacts& facts,
                                       int threads, const Choices& choices);

// Entries `first` to 255 of a palette as a colour table's blue, green and red (the fourth
// byte of each entry is left as it is): what the user's palette and palette files hold.
void CopyToColourTable(const DiffusionPalette& palette, int first, std::uint8_t* table);
// The 256 entries of a palette as red, green, blue triplets (768 bytes), as a GIF's colour
// table holds them.
void CopyToRgbTable(const DiffusionPalette& palette, std::uint8_t* rgb);
// The 256 entries of a colour table (blue, green, red, 0) as a palette, each marked in use.
DiffusionPalette PaletteOfColourTable(const std::uint8_t* table);

} // namespace quantize
