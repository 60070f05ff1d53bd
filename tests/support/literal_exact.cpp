#include "tests/support/literal_exact.h"

#include <cstdlib>
#include <cstring>

namespace literal {
namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

} // namespace

ExactOutcome ReduceExact(std::vector<std::uint8_t>& image) {
    if ((image[28] | image[29] << 8) != 24) {
        return ExactOutcome::NotTrueColour;
    }
    std::uint8_t list[768] = {};
    int n = 0;
    const std::int32_t w = static_cast<std::int32_t>(U32(image, 18));
    const std::int32_t h = std::abs(static_cast<std::int32_t>(U32(image, 22)));
    const std::size_t s = (3 * static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
    const std::size_t w4 = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};

    for (std::int32_t r = 0; r < h; ++r) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = &image[54 + r * s + 3 * x];
            int k = 0;
            while (k < n &&
                   !(list[3 * k] == p[0] && list[3 * k + 1] == p[1] && list[3 * k + 2] == p[2])) {
                ++k;
            }
            if (k < n) {
                continue;
            }
            if (n == 256) {
                return ExactOutcome::TooManyColours;
            }
            std::memcpy(&list[3 * n], p, 3);
            ++n;
        }
    }

    const std::size_t bytes = image.size();
    image.resize(bytes + 1024);
    std::memmove(&image[1078], &image[54], h * s);
    for (std::int32_t r = 0; r < h; ++r) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = &image[1078 + r * s + 3 * x];
            int k = 0;
            while (!(list[3 * k] == p[0] && list[3 * k + 1] == p[1] && list[3 * k + 2] == p[2])) {
                ++k;
            }
            image[1078 + r * w4 + x] = static_cast<std::uint8_t>(k);
        }
        for (std::size_t x = w; x < w4; ++x) {
            image[1078 + r * w4 + x] = 0;
        }
    }
    for (int k = 0; k < 256; ++k) {
        image[54 + 4 * k] = list[3 * k];
        image[54 + 4 * k + 1] = list[3 * k + 1];
        image[54 + 4 * k + 2] = list[3 * k + 2];
        image[54 + 4 * k + 3] = 0;
    }
    const std::uint32_t imageBytes = static_cast<std::uint32_t>(1078 + w4 * h);
    image[28] = 8;
    image[29] = 0;
    PutU32(image, 34, static_cast<std::uint32_t>(w4 * h));
    PutU32(image, 2, imageBytes);
    PutU32(image, 10, U32(image, 10) + 1024);
    image.resize(imageBytes);
    return ExactOutcome::Converted;
}

} // namespace literal
