// The end of every conversion: an image of palette indices and its colour table, as an
// encoder takes it. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace quantize {

// width x rows indices, row y at indices + y * stride (storage order: for a BMP, bottom-up
// unless the source was top-down); the table's entries red, green, blue; `colours` of them
// are in use, and no index reaches that many.
struct IndexedImage {
    std::uint64_t width = 0;
    std::uint64_t rows = 0;
    std::uint64_t stride = 0;
    std::uint8_t* indices = nullptr;
    std::array<std::uint8_t, 3 * 256> table{};
    int colours = 256;
};

} // namespace quantize
