// What the palette of 誤差拡散（高画質） is chosen from: items (a histogram bin, or one colour),
// each with the statistics of its pixels, and the distance the palette measures colours by.
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/stages.h"

namespace quantize {

// The palette's distance: red, green and blue errors count 1, 2 and 1, since the eye, and the
// luminance of the image, are most sensitive to green. The pixels are mapped onto the palette
// without weights (nearest_colour.h), and the two differ on purpose for now.
// Measured with one distance either way (bench/quality.py on the 18 bench photographs and 9
// generated graphics, mean PSNR / PSNR after a slight blur / SSIM of those that do not come
// back exact; butteraugli, mean of 4 photographs and 2 graphics):
//
//   colours, images    palette 1/2/1, mapping    both 1/2/1              both unweighted
//                      unweighted (as built)
//   256, photographs   39.35 / 47.42 / .9646     39.21 / 47.24 / .9689   39.40 / 47.44 / .9644
//   256, graphics      53.79 / 58.71 / .9703     53.70 / 58.52 / .9743   53.95 / 58.79 / .9702
//   64, photographs    36.03 / 43.75 / .9059     35.95 / 43.50 / .9134   36.05 / 43.68 / .9045
//   16, photographs    30.05 / 36.99 / .7737     29.96 / 36.75 / .7792   30.03 / 37.09 / .7696
//   butteraugli 256    5.39                      4.76                    5.26
//   butteraugli 16     31.46                     29.90                   30.85
//
// An unweighted palette gains nothing beyond 0.1 dB and loses SSIM with fewer colours (-0.004
// at 16), so the palette stays weighted. A weighted mapping trades 0.1 dB of PSNR and 0.2 dB
// after a blur for SSIM (+0.004 to +0.0075) and butteraugli (12 % lower at 256 colours): a
// change of every result, left to a step of its own, so the mapping stays unweighted.
constexpr std::uint64_t kWeight[3] = {1, 2, 1};

// Pixels: how many, and for red, green and blue the sums of their values and of the squares.
struct Stats {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {};
    std::uint64_t squares[3] = {};

    void Add(const Stats& other) {
        count += other.count;
        for (int c = 0; c < 3; ++c) {
            sum[c] += other.sum[c];
            squares[c] += other.squares[c];
        }
    }
    void Remove(const Stats& other) {
        count -= other.count;
        for (int c = 0; c < 3; ++c) {
            sum[c] -= other.sum[c];
            squares[c] -= other.squares[c];
        }
    }
    // `weight` pixels of one colour.
    void AddColour(const int rgb[3], std::uint64_t weight) {
        count += weight;
        for (int c = 0; c < 3; ++c) {
            const std::uint64_t v = static_cast<std::uint64_t>(rgb[c]);
            sum[c] += weight * v;
            squares[c] += weight * v * v;
        }
    }
    // The mean of channel c rounded to a whole level; the pixels must be some.
    int Mean(int c) const { return static_cast<int>((sum[c] + count / 2) / count); }
    // The squared distance of the pixels to the mean colour rounded to whole levels, in
    // channel c: a sum of squares of whole numbers, so never negative, and at most a quarter
    // a pixel more than the distance to the exact mean. The terms may wrap around in
    // unsigned arithmetic; their sum does not.
    std::uint64_t Error(int c) const {
        if (count == 0) {
            return 0;
        }
        const std::uint64_t m = static_cast<std::uint64_t>(Mean(c));
        return squares[c] - 2 * m * sum[c] + m * m * count;
    }
    std::uint64_t Error() const {
        return kWeight[0] * Error(0) + kWeight[1] * Error(1) + kWeight[2] * Error(2);
    }
};

// What the split works on: a histogram bin, or one colour of a bin counted colour by colour.
struct Item {
    Stats stats;
    int mean[3];
    std::int32_t bin; // the histogram bin it stands for, or -1 for a single colour
};

// Sets an entry's red, green and blue.
inline void SetColour(PaletteEntry& entry, int red, int green, int blue) {
    entry.red = static_cast<std::uint8_t>(red);
    entry.green = static_cast<std::uint8_t>(green);
    entry.blue = static_cast<std::uint8_t>(blue);
}

// Sets an entry to the device's colour nearest to red, green, blue.
inline void SetNearest(PaletteEntry& entry, const DeviceColours& device, int red, int green,
                       int blue) {
    entry = PaletteEntry::OfColour(device.Nearest(red, green, blue));
}

} // namespace quantize
