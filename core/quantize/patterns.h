// Threshold patterns for ordered dithering: Bayer's matrices of 2 x 2 to 16 x 16, and a 64 x 64
// blue-noise mask made here by void and cluster. Each is made once, the first time it is
// asked for, by integer arithmetic alone: the same thresholds on every platform. Portable: no
// platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace quantize {

enum class PatternName { Bayer2, Bayer4, Bayer8, Bayer16, BlueNoise };

// `side` x `side` thresholds (a power of two), row by row from the top left, each of 0 to
// side * side - 1 once.
struct ThresholdPattern {
    int side = 0;
    std::vector<std::uint16_t> thresholds;
    int At(int x, int y) const {
        return thresholds[static_cast<std::size_t>((y & (side - 1)) * side + (x & (side - 1)))];
    }
};

const ThresholdPattern& PatternOf(PatternName name);

// Bayer's matrix of a side of 2, 4, 8 or 16: each quarter of the levels spread as evenly as the
// levels before them allow, so that any first n thresholds lie as far apart as a lattice can.
ThresholdPattern BayerPattern(int side);

// Ulichney's void and cluster on a torus of side x side (a power of two, at most 256): from
// an even spread of a tenth of the places (the densest of them moved to the largest hole until
// none moves), ranks given by taking the densest away one by one, then by filling the largest
// hole one by one; dense and holes as a Gaussian of radius 1.5 sees them. So every first n
// thresholds are spread evenly without the lattice's regular grid, and a flat colour comes out
// as a fine, even grain.
ThresholdPattern BlueNoisePattern(int side);

} // namespace quantize
