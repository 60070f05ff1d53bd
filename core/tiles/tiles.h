// Tile images, as consoles and handhelds draw them: the image in tiles of W x H pixels, each
// tile drawn with one of P palettes of K entries, the first N entries of every palette shared.
// The result is one 8-bit image whose pixel in a tile of palette p is the index p * K + i.
// Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/quantize/observer.h"
#include "core/quantize/outcome.h"
#include "core/quantize/stages.h"

namespace tiles {

// The tile rule of a device.
struct TileShape {
    int width = 8, height = 8; // a tile's pixels, 1 to kMaxTileSide each
    int palettes = 8;          // P, 1 to 256
    int size = 16;             // K, entries of each palette, 2 to 256; P * K at most 256
    int shared = 1;            // N, the first entries of every palette, the same in each; 0 to K
    std::array<int, 3> depth = {8, 8, 8}; // bits of red, green and blue the device shows

    bool operator==(const TileShape&) const = default;
};
inline constexpr int kMaxTileSide = 256;

// The shapes of the devices users ask for by name.
struct Target {
    std::string_view name;
    TileShape shape;
};
extern const Target kTargets[];
extern const int kTargetCount;
// The target of that name, or null.
const Target* FindTarget(std::string_view name);

// What is wrong with a shape, for `fixedCount` fixed colours (which go into the shared
// entries); Fine when nothing.
enum class ShapeProblem {
    Fine,
    TileSide,
    PaletteCount,
    PaletteSize,
    TooManyEntries,
    Shared,
    FixedColours
};
ShapeProblem CheckShape(const TileShape& shape, int fixedCount);

struct TileInput {
    TileShape shape;
    int fixedCount = 0;                       // the user's fixed colours, 0 to shape.shared
    const std::uint8_t* fixedTable = nullptr; // blue, green, red, reserved per entry
    quantize::Stages stages = quantize::kHighQualityDiffusion; // of the dithering: its method
    quantize::Choices choices = {}; // the dithering's kernel or pattern, strength, key, linear
    int threads = 0;                // 1 or 2, or 0 to choose by the image's size
};

// What a conversion tells: how many tiles each palette took, and the PSNR of the result
// against the source (infinite where every pixel was kept).
struct TileReport {
    std::vector<int> tilesOfPalette; // P counts
    double psnr = 0;
};

// Converts the true-colour image `data` (a BMP file image, as quantize::DiffuseImage takes it)
// in place into the 8-bit tile image, its colour table the P palettes one after another (P * K
// entries, the rest black). `report`, when not null, is filled.
quantize::Result ConvertTiles(std::uint8_t* data, std::uint64_t size,
                              const quantize::Resizer& resize, const TileInput& input,
                              quantize::DiffusionObserver& observer, TileReport* report = nullptr);

} // namespace tiles
