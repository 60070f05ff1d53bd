// The end of every conversion and what every encoder writes from: an image's pixels with their
// colour table, given as stb_image_write takes an image (pixels, size, stride, and here the
// palette, the bits a pixel and the key colour). Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace quantize {

// width x rows pixels of `bits` bits each, row y as stored at indices + y * stride; `topDown`
// says whether the first stored row is the top of the picture (a BMP's rows are bottom-up
// unless its height is negative). Indices of fewer than 8 bits are packed from the high bits
// of each byte down, as BMP and PNG both pack them. The table's entries are red, green, blue:
// `entries` of them (1 to 2^bits) are in use, and no index reaches that many; with `key`, entry
// 0 is a transparent key colour. 24-bit pixels are blue, green and red, without a table.
// Width and rows are at least 1 and below 2^31 for an encoder.
struct IndexedImage {
    std::uint64_t width = 0;
    std::uint64_t rows = 0;
    std::uint64_t stride = 0;
    const std::uint8_t* indices = nullptr;
    std::array<std::uint8_t, 3 * 256> table{};
    int entries = 256;
    int bits = 8;
    bool key = false;
    int keyStep = 0; // with `key`, every keyStep-th entry is transparent too (tile palettes)
    // With `translucent`, each entry's alpha (0 transparent to 255 opaque) instead of the key.
    bool translucent = false;
    std::array<std::uint8_t, 256> alpha{};
    bool topDown = false;

    // The bytes of a row's pixels, without the padding up to the stride.
    std::uint64_t RowBytes() const { return (width * static_cast<unsigned>(bits) + 7) / 8; }
    // Row y of the picture, 0 at the top: an encoder that writes the top row first walks these.
    const std::uint8_t* TopRow(std::uint64_t y) const {
        return indices + (topDown ? y : rows - 1 - y) * stride;
    }
};

} // namespace quantize
