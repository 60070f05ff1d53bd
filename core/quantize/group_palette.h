// The palette of 誤差拡散: the fixed group, the basic group, and the free group of the
// image's most frequent other colours. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

#include "core/bmp/true_colour.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// Entries 0..F-1 from the user's table (blue, green, red order there), F..F+B-1 from the
// basic triplets; every entry's flags byte is 1, free entries black for now.
void FillFixedAndBasic(DiffusionPalette& palette, const GroupSizes& sizes,
                       const DiffusionInput& input);

// Counts the colours of the image (storage order, pad bytes skipped) that are not among
// the first F + B entries, and fills the N free entries with the most frequent of them:
// highest count first, on equal counts the colour met first; black when there are fewer.
// Reports progress of phase 0 and phase 1. Returns false when memory runs out.
bool FillFreeGroup(DiffusionPalette& palette, const GroupSizes& sizes, bmp::SourceRows& rows,
                   const bmp::TrueColourGeometry& geometry, DiffusionObserver& observer);

} // namespace quantize
