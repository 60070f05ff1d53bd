// How like its neighbours each pixel of a row is, measured once a row and read by the palette
// (how much a pixel counts, the flat runs kept exactly) and by the dithering's rules (flat and
// smooth stretches). Two measures: the likeness to the neighbour on either side, which says
// whether a pixel is flat; and smoothness, within a few levels of the three pixels on either
// side, which a gradient with a little noise in it (a sky from a JPEG file) has and likeness
// alone does not see. Portable: no platform headers.
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

// A smooth pixel lies within kSmoothLevels on every channel of each of the kSmoothReach pixels
// on either side of it along the row (so none of the first and last kSmoothReach is).
constexpr int kSmoothLevels = 2;
constexpr std::uint64_t kSmoothReach = 3;

// The marks of a pixel for the dithering: flat, smooth.
constexpr std::uint8_t kFlatMark = 1;
constexpr std::uint8_t kSmoothMark = 2;

// The measures of one row at a time, in room that is kept from row to row (Reserve sets it
// aside; a row no wider then needs no more).
class RowTexture {
  public:
    void Reserve(std::uint64_t width);
    // How far each channel value differs from the left and from the right neighbour's, each
    // difference capped at kBusy, at [3 * x + channel]: 0 on every channel of a flat pixel.
    const std::uint8_t* Busy(const std::uint8_t* row, std::uint64_t width);
    // Worked out for the whole row at once, sixteen channel values at a time: the likeness of
    // pixel x is at [3 * x], from 1 (busy) to kFlat, one more for each level below kBusy by
    // which its busiest channel differs from its neighbours.
    const std::uint8_t* Likeness(const std::uint8_t* row, std::uint64_t width);
    // Writes a byte for each pixel to `marks`: kFlatMark where `flat` is asked for and the
    // pixel is flat, kSmoothMark where `smooth` is asked for and it is smooth.
    void Mark(const std::uint8_t* row, std::uint64_t width, bool flat, bool smooth,
              std::uint8_t* marks);

  private:
    std::vector<std::uint8_t> busy_, weights_, near_;
};

} // namespace quantize
