// The palettes of a tile image: each tile's colours, the shared entries, the tiles grouped so
// that P palettes cover them best, and each palette's own entries chosen for its tiles.
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/device_colours.h"
#include "core/tiles/tiles.h"

namespace tiles {

// An image's pixels (0x00RRGGBB), row by row from the top, cut into tiles of a shape; the
// last tiles of a row or column are partial where the image is.
struct TiledImage {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    int tileWidth = 8, tileHeight = 8;

    int Across() const { return (width + tileWidth - 1) / tileWidth; }
    int Down() const { return (height + tileHeight - 1) / tileHeight; }
    int TileOf(int x, int y) const { return y / tileHeight * Across() + x / tileWidth; }
};

// The P palettes of K entries one after another, and the palette of every tile.
struct TilePalettes {
    std::vector<std::uint32_t> entries; // P * K colours
    std::vector<int> paletteOfTile;
    std::vector<bool> exactTile; // every colour of the tile is an entry of its palette
};

// Colour distance of the palette's choice: green counting twice.
inline int ColourDistance(std::uint32_t a, std::uint32_t b) {
    const int dr = static_cast<int>(a >> 16 & 255) - static_cast<int>(b >> 16 & 255);
    const int dg = static_cast<int>(a >> 8 & 255) - static_cast<int>(b >> 8 & 255);
    const int db = static_cast<int>(a & 255) - static_cast<int>(b & 255);
    return dr * dr + 2 * dg * dg + db * db;
}

// The palettes for the image. `shared` holds the N shared entries (the user's fixed colours
// first, then the image's most frequent device colours); with `key`, pixels of entry 0's colour
// take part in no choice. Deterministic. May throw std::bad_alloc.
TilePalettes ChoosePalettes(const TiledImage& image, const TileShape& shape,
                            const std::vector<std::uint32_t>& fixed, bool key,
                            const quantize::DeviceColours& device);

} // namespace tiles
