#include "core/bmp/rle.h"

namespace bmp {
namespace {

// Walks the codes of RLE8 or RLE4 data, handing each pixel's place and index to `put`; true
// when the data reaches its end (see RleIsWhole).
template <typename Put>
bool WalkRle(const std::uint8_t* data, std::uint64_t size, int bits, std::int32_t width,
             std::int32_t rows, Put put) {
    std::int64_t x = 0, y = 0;
    std::uint64_t at = 0;
    while (at + 2 <= size && y < rows) {
        const int count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) { // a run: count pixels of one value (two alternating for RLE4)
            for (int i = 0; i < count; ++i, ++x) {
                put(x, y, bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // delta: move right and up
            if (at + 2 > size) {
                return false;
            }
            x += data[at];
            y += data[at + 1];
            at += 2;
        } else { // absolute: `value` pixels follow, padded to a whole word
            const std::uint64_t bytes = bits == 8 ? value : (value + 1) / 2;
            if (at + bytes > size) {
                return false;
            }
            for (int i = 0; i < value; ++i, ++x) {
                const std::uint8_t byte = data[at + (bits == 8 ? i : i / 2)];
                put(x, y, bits == 8 ? byte : (i % 2 == 0 ? byte >> 4 : byte & 15));
            }
            at += (bytes + 1) & ~std::uint64_t{1};
        }
    }
    // Past the last row, or at the end of a last row that is all there (a writer may leave
    // out the closing codes).
    return y >= rows || (y == rows - 1 && x >= width);
}

} // namespace

bool UnpackRle(const std::uint8_t* data, std::uint64_t size, int bits, std::int32_t width,
               std::int32_t rows, std::vector<std::uint8_t>& pixels) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) + 3) & ~std::uint64_t{3};
    pixels.assign(static_cast<std::size_t>(stride * static_cast<std::uint64_t>(rows)), 0);
    return WalkRle(data, size, bits, width, rows, [&](std::int64_t x, std::int64_t y, int index) {
        if (x < width && y < rows) {
            pixels[static_cast<std::size_t>(static_cast<std::uint64_t>(y) * stride +
                                            static_cast<std::uint64_t>(x))] =
                static_cast<std::uint8_t>(index);
        }
    });
}

bool RleIsWhole(const std::uint8_t* data, std::uint64_t size, int bits, std::int32_t width,
                std::int32_t rows) {
    return WalkRle(data, size, bits, width, rows, [](std::int64_t, std::int64_t, int) {});
}

} // namespace bmp
