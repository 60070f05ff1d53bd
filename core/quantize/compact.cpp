#include "core/quantize/compact.h"

#include <algorithm>
#include <array>

#include "core/bmp/layout.h"
#include "core/quantize/bmp_writer.h"

namespace quantize {

Result CompactImage(std::uint8_t* data, std::uint64_t size, bool keepZero, int& entries,
                    bool withAlpha) {
    const std::size_t channels = withAlpha ? 4 : 3;
    const std::optional<IndexedImage> view = ViewPlainBmp(data, size);
    if (!view || view->bits != 8) {
        return {Outcome::UnsupportedLayout, size};
    }
    std::uint8_t* const indices = data + bmp::k8BitPixelData;
    std::array<bool, 256> used{};
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        for (std::uint64_t x = 0; x < view->width; ++x) {
            used[indices[y * view->stride + x]] = true;
        }
    }
    used[0] = used[0] || keepZero;
    std::uint8_t* const table = data + bmp::kColourTable;
    std::array<std::uint8_t, 4 * 256> before;
    std::copy(table, table + before.size(), before.begin());
    std::fill(table, table + before.size(), std::uint8_t{0});
    std::array<std::uint8_t, 256> renumbered{};
    entries = 0;
    for (int e = 0; e < 256; ++e) {
        if (!used[static_cast<std::size_t>(e)]) {
            continue;
        }
        const std::uint8_t* colour = &before[4 * static_cast<std::size_t>(e)];
        // The first entry left of this colour, but never the key colour's for another entry.
        int same = keepZero ? 1 : 0;
        while (same < entries && !std::equal(colour, colour + channels, table + 4 * same)) {
            ++same;
        }
        if (same == entries || (keepZero && e == 0)) {
            same = entries++;
            std::copy_n(colour, channels, table + 4 * same);
        }
        renumbered[static_cast<std::size_t>(e)] = static_cast<std::uint8_t>(same);
    }
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        for (std::uint64_t x = 0; x < view->width; ++x) {
            std::uint8_t& index = indices[y * view->stride + x];
            index = renumbered[index];
        }
    }
    bmp::WriteU32(data + bmp::kBiClrUsed, static_cast<std::uint32_t>(entries));
    bmp::WriteU32(data + bmp::kBiClrImportant, 0);
    return {Outcome::Converted, size};
}

} // namespace quantize
