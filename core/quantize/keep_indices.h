// A palette made again without moving the indices of the colours still in use: the colours of
// an old palette that a new palette still has (within kKeepDistance) keep their index, the
// others are freed, and the new palette's other colours go into freed or spare entries.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/stages.h"

namespace quantize {

// The largest distance (red, green and blue differences added up) at which a new colour
// stands for an old one. Measured (bench/keep.py: eight graphics, a ninth added; mean PSNR of
// the nine against a palette made afresh, 39.84): 6 keeps 156 of 256 entries at 39.64, 12
// keeps 198 at 39.66, 24 keeps 218 at 39.16.
inline constexpr int kKeepDistance = 12;

struct KeptPalette {
    DiffusionPalette palette{};          // the result: old entries kept, new ones in freed or spare
    int count = 0;                       // entries in use (the highest used + 1)
    std::vector<int> kept, freed, added; // indices
};

// `old` has `oldCount` entries, the first `fixed` the user's fixed colours (kept as they are);
// `fresh` has `freshCount`, its first `fixed` the same fixed colours. Each old entry after the
// fixed ones is matched to at most one new colour and the other way round, nearest pairs first;
// a matched old entry keeps its index and its colour. New colours without a match fill the
// freed entries, lowest index first, then the spare ones after oldCount, up to 256; those that
// find no room are left out (the report's added lists the ones placed). A freed entry no new
// colour takes keeps its old colour.
KeptPalette KeepIndices(const DiffusionPalette& old, int oldCount, const DiffusionPalette& fresh,
                        int freshCount, int fixed);

} // namespace quantize
