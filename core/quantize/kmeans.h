// The refinement of the palette's boxes: k-means passes over the items, and entries that
// repeat another made distinct. Portable: no platform headers.
#pragma once

#include <vector>

#include "core/quantize/colour_items.h"
#include "core/quantize/observer.h"

namespace quantize {

// Refinement passes after the split into boxes.
constexpr int kPasses = 4;

// Moves each free entry to the mean colour of the items nearest to it, kPasses times.
void Refine(DiffusionPalette& palette, int firstFree, int used, const std::vector<Item>& items,
            const PaletteFacts& facts, DiffusionObserver& observer);

// A free entry that repeats an earlier entry would be wasted: it takes instead the colour of
// the image that its entries serve worst (most pixels times squared distance) among those
// the palette lacks.
void MakeDistinct(DiffusionPalette& palette, int firstFree, int used,
                  const std::vector<Item>& items, const PaletteFacts& facts);

} // namespace quantize
