// Fitting a palette to an error-diffusion dithering: a trial dithering of the first rows of
// every block of rows tells what colours each entry stood for, and the entries move most of
// the way there, a few times over. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/stages.h"

namespace quantize {

// Passes (at the default effort; effort.h has each effort's), the first rows of each block of rows
// that are dithered, and how far an entry moves to the mean of the colours it stood for, in
// percent.
constexpr int kFitPasses = 3;
constexpr std::uint64_t kFitRows = 4;
constexpr std::uint64_t kFitBlock = 64;
constexpr int kFitMove = 75;

// Blue, green, red and count of the colours each entry stood for in a trial dithering.
using EntrySums = std::uint64_t[256][4];

// Each entry after the pinned ones moved most of the way to the mean of the colours it stood
// for, unless another entry has that colour or it stood for none.
DiffusionPalette MovedTowardSums(const DiffusionPalette& palette, int pinned,
                                 const EntrySums& sums);

} // namespace quantize
