// How like its neighbours each pixel of a row is, measured once a row and read by the palette
// (how much a pixel counts, the flat runs kept exactly) and by the dithering's rules (flat and
// smooth stretches). Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace quantize {

// How much a pixel counts in the palette: where it is like its neighbours (a smooth area, where
// any error shows) up to nine times as much as in busy texture, by how far the channel that
// differs most differs from the left and the right neighbour together, up to kBusy levels.
constexpr int kBusy = 8;
constexpr int kSmoothWeight = 8;
// The likeness of a pixel equal to both its neighbours (at either end of a row, to the one it
// has): a flat pixel.
constexpr std::uint8_t kFlat = kBusy + 1;

class RowTexture {
  public:
    // Worked out for the whole row at once, sixteen channel values at a time: the likeness of
    // pixel x is at [3 * x], from 1 (busy) to kFlat, one more for each level below kBusy by
    // which its busiest channel differs from its neighbours.
    const std::uint8_t* Likeness(const std::uint8_t* row, std::uint64_t width);

  private:
    std::vector<std::uint8_t> busy_, weights_;
};

} // namespace quantize
