// The palette of high-quality error diffusion: the user's first F fixed colours, then
// 256 - F colours chosen for the image. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/reduce/diffusion_types.h"
#include "core/reduce/true_colour.h"

namespace reduce {

// Counts the image's colours (phase 0) and chooses the palette (phase 3): entries 0..F-1 are
// the fixed colours, the others come from splitting the colours into boxes of least variance
// and refining them with a few k-means passes, in which the fixed colours take part but do
// not move. An image of at most 256 - F distinct colours gets exactly its own colours, in
// the order they first occur, after the fixed ones. Unused entries are black; every flags
// byte is 1. The memory it uses does not grow with the image. False when memory runs out.
bool BuildAdaptivePalette(DiffusionPalette& palette, int fixedCount, const std::uint8_t* fixedTable,
                          SourceRows& rows, const TrueColourGeometry& geometry,
                          DiffusionObserver& observer);

} // namespace reduce
