// The ordered dithering of 誤差拡散（高画質）, and no dithering at all. Portable: no platform
// headers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/bmp/true_colour.h"
#include "core/quantize/dither.h"
#include "core/quantize/nearest_colour.h"
#include "core/quantize/patterns.h"
#include "core/quantize/stages.h"

namespace quantize {

// Each pixel's colour moved by a threshold pattern (patterns.h), counted from the top left of
// the picture and as wide as the palette's entries lie apart, before it takes its nearest
// entry; without a pattern, the nearest entry itself. No error travels, so a colour at a place of
// the picture always takes the same entry, whatever the rest of the image holds: the still parts of
// an animation's frames do not flicker. A pixel of an entry's own colour takes that entry (the key
// colour's pixels entry 0). Everything is set aside when it is made.
class OrderedDither : public Ditherer {
  public:
    OrderedDither(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                  const PaletteFacts& facts, int threads, const ThresholdPattern* pattern);

    void Run(std::uint8_t* pixels, DiffusionObserver& observer) override;
    const DiffusionPalette& palette() const override { return palette_; }

  private:
    void DitherRows(std::uint8_t* pixels, std::uint64_t begin, std::uint64_t end, int shard,
                    DiffusionObserver* observer);
    int EntryOf(const std::uint8_t* bgr, int offset, const NearestColour::Reader& nearest) const;

    const bmp::TrueColourGeometry g_;
    const DiffusionPalette palette_;
    const PaletteFacts facts_;
    int threads_;
    int side_;                 // of the pattern, a power of two
    std::vector<int> offsets_; // added to each channel at each place of the pattern
    ExactEntries exact_;
    std::unique_ptr<NearestColour> nearest_;
};

// The width of the ordered pattern for a palette: how far apart its entries typically lie
// (the median of each entry's distance to its nearest other entry, among the entries pixels
// may take).
int PatternWidth(const DiffusionPalette& palette, const PaletteFacts& facts);

} // namespace quantize
