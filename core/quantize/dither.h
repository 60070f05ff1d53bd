// The dithering stage of error diffusion: one interface, one file for each method. Portable: no
// platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/colour_table.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// An image a palette is fitted to: its stored bytes and their layout.
struct FitImage {
    const std::uint8_t* data;
    const bmp::TrueColourSource* source;
};

// A ditherer is made with everything it needs set aside, so that running out of memory
// (std::bad_alloc) leaves the image as it was; it gives the same bytes with one thread or two.
class Ditherer {
  public:
    virtual ~Ditherer() = default;
    // Dithers the plain 24-bit rows at `pixels` (row y at y * stride) and leaves the indices
    // of row y at pixels + y * W4, rows padded with zeros. Reports phase 2's progress.
    virtual void Run(std::uint8_t* pixels, DiffusionObserver& observer) = 0;
    // Dithers the same rows as Run but leaves them as they are, and writes the indices of row
    // y to out + y * W4; false, having done nothing, for a dithering that does not.
    virtual bool RunBeside(const std::uint8_t* pixels, std::uint8_t* out,
                           DiffusionObserver& observer) {
        static_cast<void>(pixels);
        static_cast<void>(out);
        static_cast<void>(observer);
        return false;
    }
    // Fits the palette to this dithering of the images (their rows as stored), where the
    // dithering is one that fits it: the error-diffusion kernels do. Changes no image; may
    // throw std::bad_alloc.
    virtual void Fit(const std::vector<FitImage>& images) { static_cast<void>(images); }
    // The entries pixels keep whatever error reaches them, each passing none on: kept[y *
    // width + x] for pixel x of row y, or -1 for a pixel dithered as usual; null for none.
    // For the runs after this call, while `kept` lives. A dithering in which a colour at a
    // place always takes the same entry has no need of it and may ignore it.
    virtual void Keep(const std::int16_t* kept) { static_cast<void>(kept); }
    // The palette the image is dithered onto: after Fit, the fitted one.
    virtual const DiffusionPalette& palette() const = 0;
};

// The entries by their colours, for the pixels that take the entry of their own colour: of
// equal entries the lowest.
class ExactEntries {
  public:
    // The entries first to end - 1 of `palette` (red, green, blue, flags).
    void Take(const DiffusionPalette& palette, int first, int end);
    // The entry of a pixel's colour (blue, green, red), or -1.
    int Find(const std::uint8_t* bgr) const {
        const std::uint32_t place = entries_.PlaceOf(PixelKey(bgr));
        return entries_.Holds(place) ? entries_.At(place) : -1;
    }

  private:
    ColourTable<std::uint8_t, 10> entries_;
};

// How many threads a run of the image uses: `threads` when it is 1 or 2, else two where the
// image is big enough for a second thread to pay and there are two processors.
int ThreadsFor(const bmp::TrueColourGeometry& geometry, int threads);

} // namespace quantize
