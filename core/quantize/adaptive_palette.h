// The palette of high-quality error diffusion: the user's first F fixed colours, then
// 256 - F colours chosen for the image. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/bmp/true_colour.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// Counts the image's colours (phase 0) and chooses the free group (phase 3), the entries after
// the first F + B that the caller has filled: it splits the colours into boxes of least
// variance and refines them with a few k-means passes, in which the entries before it take
// part but do not move. An image of at most N distinct colours gets exactly its own colours,
// in the order they first occur. Unused entries stay as they are. The memory it uses does not
// grow with the image. With `threads` 2 it counts on two threads. False when memory runs out.
bool BuildAdaptivePalette(DiffusionPalette& palette, const GroupSizes& sizes, bmp::SourceRows& rows,
                          const bmp::TrueColourGeometry& geometry, int threads,
                          DiffusionObserver& observer);

} // namespace quantize
