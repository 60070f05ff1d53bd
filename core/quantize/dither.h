// The dithering stage of error diffusion: one interface, one file for each method. Portable: no
// platform headers.
#pragma once

#include <cstdint>

#include "core/bmp/true_colour.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// A ditherer is made with everything it needs set aside, so that running out of memory
// (std::bad_alloc) leaves the image as it was; it gives the same bytes with one thread or two.
class Ditherer {
  public:
    virtual ~Ditherer() = default;
    // Dithers the plain 24-bit rows at `pixels` (row y at y * stride) and leaves the indices
    // of row y at pixels + y * W4, rows padded with zeros. Reports phase 2's progress.
    virtual void Run(std::uint8_t* pixels, DiffusionObserver& observer) = 0;
};

// The entries by their colours, for the pixels that take the entry of their own colour: of
// equal entries the lowest.
class ExactEntries {
  public:
    // The entries first to end - 1 of `palette` (red, green, blue, flags).
    void Take(const DiffusionPalette& palette, int first, int end);
    // The entry of a pixel's colour (blue, green, red), or -1.
    int Find(const std::uint8_t* bgr) const {
        const std::uint32_t key =
            (static_cast<std::uint32_t>(bgr[2]) << 16 | bgr[1] << 8 | bgr[0]) + 1;
        for (std::uint32_t i = (key * 0x9E3779B1u) >> 22;; i = (i + 1) & (kSize - 1)) {
            if (keys_[i] == key) {
                return entries_[i];
            }
            if (keys_[i] == 0) {
                return -1;
            }
        }
    }

  private:
    // Colour + 1 (0 for an empty place) and its entry.
    static constexpr std::uint32_t kSize = 1024;
    std::uint32_t keys_[kSize];
    std::uint8_t entries_[kSize];
};

// How many threads a run of the image uses: `threads` when it is 1 or 2, else two where the
// image is big enough for a second thread to pay and there are two processors.
int ThreadsFor(const bmp::TrueColourGeometry& geometry, int threads);

} // namespace quantize
