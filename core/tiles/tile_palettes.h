// The palettes of a tile image: the tiles grouped so that P palettes of K entries cover them
// best, and each palette's own entries chosen for its tiles. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/quantize/device_colours.h"

namespace tiles {

// An image's pixels (red, green, blue, row by row from the top) cut into tiles.
struct TileGrid {
    const std::uint8_t* rgb = nullptr;
    std::uint64_t width = 0, rows = 0;
    int tileWidth = 8, tileHeight = 8;

    std::uint64_t Across() const { return (width + tileWidth - 1) / tileWidth; }
    std::uint64_t Down() const { return (rows + tileHeight - 1) / tileHeight; }
    std::uint64_t Count() const { return Across() * Down(); }
    // Calls f(pixel's red, green, blue pointer, x, y) for every pixel of tile t.
    template <typename F> void ForEachPixel(std::uint64_t t, F f) const {
        const std::uint64_t x0 = t % Across() * tileWidth, y0 = t / Across() * tileHeight;
        for (std::uint64_t y = y0; y < y0 + tileHeight && y < rows; ++y) {
            for (std::uint64_t x = x0; x < x0 + tileWidth && x < width; ++x) {
                f(rgb + 3 * (y * width + x), x, y);
            }
        }
    }
};

// P palettes of K colours (0x00RRGGBB) one after another, and the palette of each tile.
struct TilePalettes {
    std::vector<std::uint32_t> colours; // P * K
    std::vector<int> paletteOf;         // one a tile
};

// `palettes` palettes of `size` entries. The shared entries are `shared` (the same first N of
// every palette); the rest of each palette
// is chosen for its tiles among the device's colours, no two alike within a palette. A tile
// whose colours number at most K - N lies wholly within its palette's colours when the group's
// colours do. Deterministic.
TilePalettes ChooseTilePalettes(const TileGrid& grid, int palettes, int size,
                                const std::vector<std::uint32_t>& shared,
                                const quantize::DeviceColours& device);

// The squared distance of two colours (0x00RRGGBB).
inline int Distance(std::uint32_t a, const std::uint8_t* rgb) {
    const int dr = static_cast<int>(a >> 16 & 0xFF) - rgb[0];
    const int dg = static_cast<int>(a >> 8 & 0xFF) - rgb[1];
    const int db = static_cast<int>(a & 0xFF) - rgb[2];
    return dr * dr + dg * dg + db * db;
}

} // namespace tiles
