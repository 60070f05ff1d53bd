// The dithering of 誤差拡散: each pixel takes its nearest entry, and its error is passed on to
// the right neighbour, the one below and the one below right, rounded toward zero, the
// channels clamped to 0..255 in the pixels themselves. It is not a kernel of the engine
// (kernel_dither.h) because its arithmetic is another: the error is carried in the pixel bytes
// and clamped after every share, each share is rounded toward zero on its own (3e/8, 3e/8,
// e/4, dropping the rest), and the last row passes on only errors whose channels do not cancel
// out; no kernel of shares over one divisor, summed and rounded once, gives those bytes.
// Portable: no platform headers.
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
    const DiffusionPalette& palette() const override;

  private:
    std::unique_ptr<DitherJob> job_;
};

} // namespace quantize
