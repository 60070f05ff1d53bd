#include "core/quantize/fewer_bits.h"

#include <algorithm>

namespace quantize {

int HighestIndex(const IndexedImage& image) {
    std::uint8_t highest = 0;
    for (std::uint64_t y = 0; y < image.rows && highest < 255; ++y) {
        const std::uint8_t* row = image.indices + y * image.stride;
        highest = std::max(highest, *std::max_element(row, row + image.width));
    }
    return highest;
}

int BitsHolding(int highest) {
    int bits = 1;
    while (bits < 8 && highest >> bits != 0) {
        bits *= 2;
    }
    return bits;
}

void PackRow(const std::uint8_t* from, std::uint64_t width, int bits, std::uint8_t* to) {
    const auto perByte = static_cast<std::uint64_t>(8 / bits);
    for (std::uint64_t x = 0; x < width; x += perByte) {
        const std::uint64_t end = std::min(width, x + perByte);
        unsigned byte = 0;
        int shift = 8;
        for (std::uint64_t i = x; i < end; ++i) {
            shift -= bits;
            byte |= unsigned{from[i]} << shift;
        }
        to[x / perByte] = static_cast<std::uint8_t>(byte);
    }
}

IndexedImage PackInPlace(const IndexedImage& image, std::uint8_t* pixels, int bits) {
    for (std::uint64_t y = 0; y < image.rows; ++y) {
        std::uint8_t* row = pixels + y * image.stride;
        PackRow(row, image.width, bits, row);
    }
    IndexedImage packed = image;
    packed.indices = pixels;
    packed.bits = bits;
    return packed;
}

} // namespace quantize
