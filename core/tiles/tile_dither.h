// Each tile of an image dithered onto its own palette only. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/quantize/stages.h"
#include "core/tiles/tile_palettes.h"

namespace tiles {

// The index p * K + i of every pixel, row by row from the top: by the stages' dithering (an
// error-diffusion kernel, a threshold pattern, or the nearest entry), the error kept within
// each tile. A tile whose colours are all its palette's keeps every pixel. With `key`, the
// pixels of `keyColour` take entry 0 of their palette and no other pixel does.
std::vector<std::uint8_t> DitherTiles(const TiledImage& image, const TileShape& shape,
                                      const TilePalettes& palettes, const quantize::Stages& stages,
                                      const quantize::Choices& choices, bool key,
                                      std::uint32_t keyColour);

} // namespace tiles
