// What a conversion run reports while it works, and the helpers that report it. Portable: no
// platform headers.
#pragma once

#include <cstdint>

#include "core/bmp/true_colour.h"

namespace quantize {

// Stage reports of a run, in the order they happen.
class DiffusionObserver {
  public:
    virtual ~DiffusionObserver() = default;
    // First of all: the sizes of the three palette groups.
    virtual void Opening(int fixed, int basic, int free) = 0;
    // Phase 0 (counting) is where a run starts; 1 (ranking, or with the adaptive palette 3,
    // choosing the palette) and 2 (dithering) follow.
    virtual void Phase(int phase) = 0;
    // Work done out of total in the current phase. Only counts that are multiples of 100 are
    // reported: the others change nothing a progress display shows.
    virtual void Progress(std::int64_t done, std::int64_t total) = 0;
    // The palette is complete.
    virtual void PaletteComplete() = 0;
    // The image has been rewritten.
    virtual void Finished() = 0;
};

// An observer for a run nobody watches.
class SilentObserver : public DiffusionObserver {
  public:
    void Opening(int, int, int) override {}
    void Phase(int) override {}
    void Progress(std::int64_t, std::int64_t) override {}
    void PaletteComplete() override {}
    void Finished() override {}
};

// Reports every multiple of 100 in [begin, end) as progress out of total.
void ReportProgress(DiffusionObserver& observer, std::int64_t begin, std::int64_t end,
                    std::int64_t total);

// Calls visit(pixel) for every pixel (blue, green, red bytes) in storage order, reporting
// the progress of the counting phase row by row, counted in positions of 8-bit rows.
template <typename Visit>
void VisitPixels(bmp::SourceRows& rows, const bmp::TrueColourGeometry& g,
                 DiffusionObserver& observer, Visit visit) {
    const std::int64_t positions = static_cast<std::int64_t>(g.padded * g.rows);
    for (std::uint64_t y = 0; y < g.rows; ++y) {
        const std::int64_t rowStart = static_cast<std::int64_t>(y * g.padded);
        ReportProgress(observer, rowStart, rowStart + static_cast<std::int64_t>(g.padded),
                       positions);
        const std::uint64_t width = rows.Width(y);
        const std::uint8_t* p = rows.Row(y);
        for (std::uint64_t x = 0; x < width; ++x, p += 3) {
            visit(p);
        }
    }
}

} // namespace quantize
