// Small BMP file images for the unit tests, and a resizable vector standing in for the
// document's memory block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "document/bmp_layout.h"
#include "reduce/rewrite.h"

namespace testimg {

using Bytes = std::vector<std::uint8_t>;

// A 24-bit image; colour(x, r) gives 0x00RRGGBB for pixel x of stored row r (row 0 is the
// first row after the headers). Pad bytes are filled with `pad`.
inline Bytes Make24(int width, int rows, const std::function<std::uint32_t(int, int)>& colour,
                    std::uint8_t pad = 0, bool topDown = false) {
    const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    Bytes image(54 + stride * rows, 0);
    image[0] = 'B';
    image[1] = 'M';
    bmp::WriteU32(&image[bmp::kBfSize], static_cast<std::uint32_t>(image.size()));
    bmp::WriteU32(&image[bmp::kBfOffBits], 54);
    bmp::WriteU32(&image[bmp::kBiSize], 40);
    bmp::WriteU32(&image[bmp::kBiWidth], static_cast<std::uint32_t>(width));
    bmp::WriteU32(&image[bmp::kBiHeight], static_cast<std::uint32_t>(topDown ? -rows : rows));
    bmp::WriteU16(&image[26], 1);
    bmp::WriteU16(&image[bmp::kBiBitCount], 24);
    bmp::WriteU32(&image[bmp::kBiSizeImage], static_cast<std::uint32_t>(stride * rows));
    bmp::WriteU32(&image[38], 2835);
    bmp::WriteU32(&image[42], 2835);
    for (int r = 0; r < rows; ++r) {
        std::uint8_t* p = &image[54 + r * stride];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, r);
            p[3 * x] = static_cast<std::uint8_t>(c);
            p[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            p[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
        for (std::size_t i = 3 * width; i < stride; ++i) {
            p[i] = pad;
        }
    }
    return image;
}

// An image whose pixels are drawn at random from `colours` distinct colours (all of which
// occur when the image has enough pixels).
inline Bytes MakeRandom(int width, int rows, int colours, std::uint32_t seed, std::uint8_t pad) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> palette(colours);
    for (int i = 0; i < colours; ++i) {
        palette[i] = (static_cast<std::uint32_t>(i) * 0x9E3779B1u ^ seed) & 0xFFFFFF;
    }
    std::uniform_int_distribution<int> pick(0, colours - 1);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * rows);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = palette[i < static_cast<std::size_t>(colours) ? i : pick(rng)];
    }
    std::shuffle(pixels.begin(), pixels.end(), rng);
    return Make24(
        width, rows, [&](int x, int r) { return pixels[r * width + x]; }, pad);
}

// The document's block as a vector; `failGrow` and `failShrink` make resizes fail.
struct VectorBlock {
    Bytes bytes;
    bool failGrow = false;
    bool failShrink = false;
    int resizes = 0;

    reduce::Resizer Resizer() {
        return [this](std::uint64_t size) {
            ++resizes;
            const bool grow = size > bytes.size();
            if ((grow && failGrow) || (!grow && failShrink)) {
                return reduce::ResizeResult{bytes.data(), false};
            }
            bytes.resize(size, 0xCD); // grown bytes are not zeroed by the platform either
            return reduce::ResizeResult{bytes.data(), true};
        };
    }
};

} // namespace testimg
