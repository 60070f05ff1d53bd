// Palette assembly for error diffusion: the fixed group, the basic group, and the free group
// of the image's most frequent other colours. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

#include "core/reduce/diffusion_types.h"
#include "core/reduce/true_colour.h"

namespace reduce {

// Entries 0..F-1 from the user's table (blue, green, red order there), F..F+B-1 from the
// basic triplets; every entry's flags byte is 1, free entries black for now.
void FillFixedAndBasic(DiffusionPalette& palette, const GroupSizes& sizes,
                       const DiffusionInput& input);

// Counts the colours of the image (storage order, pad bytes skipped) that are not among
// the first F + B entries, and fills the N free entries with the most frequent of them:
// highest count first, on equal counts the colour met first; black when there are fewer.
// Reports progress of phase 0 and phase 1. Returns false when memory runs out.
bool FillFreeGroup(DiffusionPalette& palette, const GroupSizes& sizes, SourceRows& rows,
                   const TrueColourGeometry& geometry, DiffusionObserver& observer);

// Reports every multiple of 100 in [begin, end) as progress out of total.
void ReportProgress(DiffusionObserver& observer, std::int64_t begin, std::int64_t end,
                    std::int64_t total);

// Calls visit(pixel) for every pixel (blue, green, red bytes) in storage order, reporting
// the progress of the counting phase row by row, counted in positions of 8-bit rows.
template <typename Visit>
void VisitPixels(SourceRows& rows, const TrueColourGeometry& g, DiffusionObserver& observer,
                 Visit visit) {
    const std::int64_t positions = static_cast<std::int64_t>(g.padded * g.rows);
    for (std::uint64_t y = 0; y < g.rows; ++y) {
        const std::int64_t rowStart = static_cast<std::int64_t>(y * g.padded);
        ReportProgress(observer, rowStart, rowStart + static_cast<std::int64_t>(g.padded),
                       positions);
        const std::uint8_t* p = rows.Row(y);
        for (std::uint64_t x = 0; x < g.width; ++x, p += 3) {
            visit(p);
        }
    }
}

} // namespace reduce
