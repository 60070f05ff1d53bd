// The dithering of 誤差拡散: each pixel takes its nearest entry, and its error is passed on to
// the right neighbour, the one below and the one below right, rounded toward zero, the
// channels clamped to 0..255 in the pixels themselves. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <memory>

#include "core/quantize/dither.h"

namespace quantize {

struct DitherJob;

// With two threads the even and the odd rows are dithered side by side, each a little behind
// the row above it, in the order of a single pass: the same bytes either way.
class ThreeNeighbourDither : public Ditherer {
  public:
    ThreeNeighbourDither(const bmp::TrueColourGeometry& geometry, const DiffusionPalette& palette,
                         int threads);
    ~ThreeNeighbourDither() override;
    void Run(std::uint8_t* pixels, DiffusionObserver& observer) override;

  private:
    std::unique_ptr<DitherJob> job_;
};

} // namespace quantize
