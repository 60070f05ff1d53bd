// Animation frames on one palette: the palette of all the frames together, counted as one
// image (each pixel once), and each frame dithered after the one before it, so that what
// stays still on the screen keeps its indices and no dithering crawls over it. Portable: no
// platform headers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/alpha_diffusion.h"
#include "core/quantize/dither.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/observer.h"
#include "core/quantize/outcome.h"
#include "core/quantize/stages.h"

namespace quantize {

// The still rule: for each pixel of a frame (rows of this geometry, `pixelBytes` a pixel: 3
// for blue, green, red, 4 with alpha), the entry the frame before gave it where its colour
// there is the same as in that frame, else -1. `before` and `now` are the two frames' rows,
// `entries` the frame before's indices (row y at y * geometry.padded); kept[y * width + x]
// receives the pixel's entry or -1.
void StillEntries(const std::uint8_t* before, const std::uint8_t* now, const std::uint8_t* entries,
                  const bmp::TrueColourGeometry& geometry, std::int16_t* kept,
                  std::size_t pixelBytes = 3);

// The frames of an animation, dithered in order onto the palette of them all.
class FrameDiffusion {
  public:
    explicit FrameDiffusion(const DiffusionInput& input) : input_(input) {}

    // Chooses the palette of all the frames (file images of one width and height), as
    // PaletteOfImages does. Converted, or why not, `refused` then being the frame refused.
    Outcome Start(const std::vector<ImageBytes>& frames, DiffusionObserver& observer,
                  std::size_t& refused);
    const DiffusionPalette& palette() const { return palette_; }
    // The entries in use (no pixel takes one at or above it) and whether entry 0 is the
    // transparent key colour.
    int entries() const { return facts_.entries; }
    bool key() const { return facts_.key; }

    // Dithers the next frame: `indices` gets its rows, the top row first, `width` bytes
    // each. A pixel whose colour is the one it had in the frame before keeps its entry
    // (none of its error passed on); the others are dithered as usual. Converted, or why
    // the frame is refused (UnsupportedLayout for a frame of another size than the first).
    Outcome Next(const ImageBytes& frame, std::vector<std::uint8_t>& indices);

  private:
    DiffusionInput input_;
    DiffusionPalette palette_{};
    PaletteFacts facts_;
    std::unique_ptr<Ditherer> ditherer_;
    bmp::TrueColourGeometry g_{};
    std::vector<std::uint8_t> before_, now_;         // plain rows, the top row first
    std::vector<std::uint8_t> entries_, newEntries_; // padded rows of indices
    std::vector<std::int16_t> kept_;
    bool first_ = true;
};

// The frames of an animation with transparency, dithered in order onto the palette with alpha
// of them all, as FrameDiffusion does: a pixel whose colour and alpha are those it had in the
// frame before keeps its entry.
class AlphaFrameDiffusion {
  public:
    explicit AlphaFrameDiffusion(const AlphaInput& input) : input_(input) {}

    // Chooses the palette of all the frames, as AlphaPaletteOfImages does.
    Outcome Start(const std::vector<ImageBytes>& frames, std::size_t& refused);
    const AlphaPalette& palette() const { return palette_; }

    // Dithers the next frame into `indices`: its rows, the top row first, `width` bytes each.
    Outcome Next(const ImageBytes& frame, std::vector<std::uint8_t>& indices);

  private:
    AlphaInput input_;
    AlphaPalette palette_;
    bmp::TrueColourGeometry g_{};
    std::vector<std::uint8_t> before_, now_; // red, green, blue, alpha, the top row first
    std::vector<std::uint8_t> entries_;      // the frame before's indices
    std::vector<std::int16_t> kept_;
    bool first_ = true;
};

} // namespace quantize
