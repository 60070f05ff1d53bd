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
// The trial sees at least 2^kFitShift pixels (all of a smaller image): blocks are shorter
// than kFitBlock where the image has fewer than 2^kFitShift * kFitBlock / kFitRows pixels. An
// entry moved to the mean of the handful of pixels a sparse trial gives it moves by chance:
// on a 600 x 482 photograph some entries stood for 1 to 10 pixels and took a bluer cast.
// Measured (bench/compare.sh, PSNR / blurred PSNR / SSIM of the group means, against blocks
// of 64 rows for every image): photographs +0.02 / +0.02 / +0.0000 (those of 4 megapixels
// are nearly as before), other photographs +0.40 / +0.63 / +0.0023, graphics +0.25 / +0.21 /
// +0.0008. The higher efforts see 2^20 (effort.cpp): +0.17 / +0.20 / +0.0008, +0.41 / +0.65 /
// +0.0023 and +0.35 / +0.32 / +0.0011, for about 4 x the trial's time on 4 megapixels.
constexpr int kFitShift = 18;

// The rows of a block of an image of `pixels` pixels, of which the trial dithers kFitRows, for
// a trial of at least 2^shift pixels.
constexpr std::uint64_t FitBlock(std::uint64_t pixels, int shift = kFitShift) {
    const std::uint64_t rows = (kFitRows * pixels) >> shift;
    return rows < kFitRows ? kFitRows : rows > kFitBlock ? kFitBlock : rows;
}

// Blue, green, red and count of the colours each entry stood for in a trial dithering.
using EntrySums = std::uint64_t[256][4];

// Each entry after the pinned ones moved most of the way to the mean of the colours it stood
// for (to the device's colour nearest there), unless another entry has that colour or it
// stood for none.
DiffusionPalette MovedTowardSums(const DiffusionPalette& palette, int pinned, const EntrySums& sums,
                                 const DeviceColours& device = {});

} // namespace quantize
