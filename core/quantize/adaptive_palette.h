// The palette of high-quality error diffusion: the user's first F fixed colours, then
// 256 - F colours chosen for the image. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/bmp/true_colour.h"
#include "core/quantize/observer.h"
#include "core/quantize/stages.h"

namespace quantize {

// Counts the image's colours (phase 0) and chooses the free group (phase 3), the entries after
// the first F + B that the caller has filled. Pixels count for more where they are like their
// neighbours, since errors show there; green errors count twice. An image of at most N
// distinct colours gets exactly its own colours, in the order they first occur. An image of a
// few thousand colours keeps the colours of its large flat areas exactly, and splits the rest
// colour by colour into boxes of least variance; a larger one is split by histogram bins,
// counted again colour by colour where a bin needs more than one entry. The boxes are refined
// with a few k-means passes, in which the entries before them take part but do not move. No
// entry repeats another; unused entries stay as they are. `facts` tell how many leading
// entries (the fixed ones and the flat areas' colours) must keep their colours, and whether
// the entries were chosen colour by colour; they come in telling which entries pixels may
// take (with a key colour, pixels of entry 0's colour are not counted). The memory it
// uses does not grow with the image. With `threads` 2 it counts on two threads. False when
// memory runs out.
bool BuildAdaptivePalette(DiffusionPalette& palette, const GroupSizes& sizes, bmp::SourceRows& rows,
                          const bmp::TrueColourGeometry& geometry, int threads,
                          DiffusionObserver& observer, PaletteFacts& facts);

} // namespace quantize
