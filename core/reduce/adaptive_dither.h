// Dithering of high-quality error diffusion: Floyd-Steinberg weights in serpentine order, the
// error carried in sixteenths beside the image and passed on at 7/8 of its size.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/reduce/diffusion_types.h"
#include "core/reduce/nearest_colour.h"
#include "core/reduce/true_colour.h"

namespace reduce {

// Everything dithering needs, set aside when it is made (it may throw std::bad_alloc), so
// that running out of memory leaves the image as it was. The image is dithered as two bands,
// its upper and lower half, each on its own: with two threads each takes a band, and the
// result is the same byte for byte.
class AdaptiveDither {
  public:
    AdaptiveDither(const TrueColourGeometry& geometry, DiffusionPalette& palette, int threads);

    // Fits the palette to dithering: dithers every fourth block of rows without writing
    // anything, and moves each entry from `firstFree` on most of the way to the mean of the
    // colours it stood for, twice. Reads the stored rows; may throw std::bad_alloc.
    void FitPalette(const std::uint8_t* data, const TrueColourSource& source, int firstFree);

    // Dithers the plain 24-bit rows at `pixels` and leaves the indices of row y at
    // pixels + y * W4, rows padded with zeros. Reports phase 2's progress.
    void Run(std::uint8_t* pixels, DiffusionObserver& observer);

  private:
    struct Band {
        std::uint64_t begin, end; // rows
        std::unique_ptr<NearestColour> nearest;
        std::vector<std::int32_t> errors; // two rows of (width + 2) x 3, in sixteenths
        bool swapped = false;             // the second row is the current one
        std::vector<std::uint8_t> indices;
        std::uint64_t sums[256][4]; // red, green, blue and count of the colours each entry took
    };
    // Dithers one row; `trial` counts the colours instead of keeping the indices.
    void DitherRow(Band& band, const std::uint8_t* row, bool forward, bool trial);
    template <int Step, bool Trial> void DitherPixels(Band& band, const std::uint8_t* row);
    void DitherBand(Band& band, std::uint8_t* pixels, DiffusionObserver* observer);
    template <typename Work> void InBothBands(Work work);
    void TakeColours();

    const TrueColourGeometry g_;
    DiffusionPalette& palette_;
    int threads_;
    // The palette's red, green and blue as the dithering reads them: not of the errors' type,
    // so that writing an error never makes the compiler read a colour again.
    std::int16_t colours_[256][3];
    Band bands_[2];
};

} // namespace reduce
