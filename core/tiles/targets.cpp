// The devices' tile rules by name, and what makes a tile shape impossible. Portable: no
// platform headers.
#include "core/tiles/tiles.h"

namespace tiles {

const Target kTargets[] = {
    // Super Nintendo backgrounds: 8 x 8 tiles, 8 palettes of 16, colour 0 the backdrop, 15-bit
    // colour.
    {"snes", {8, 8, 8, 16, 1, {5, 5, 5}}},
    // Game Boy Advance backgrounds: 8 x 8 tiles, palette RAM of 16 palettes of 16, colour 0
    // transparent, 15-bit colour.
    {"gba", {8, 8, 16, 16, 1, {5, 5, 5}}},
    // Game Boy Color backgrounds: 8 x 8 tiles, 8 palettes of 4 of its own, 15-bit colour.
    {"gbc", {8, 8, 8, 4, 0, {5, 5, 5}}},
    // Mega Drive / Genesis: 8 x 8 tiles, 4 palettes of 16, colour 0 transparent, 9-bit colour.
    {"genesis", {8, 8, 4, 16, 1, {3, 3, 3}}},
    // NES backgrounds: a palette per 16 x 16 area, 4 palettes of 4 sharing the backdrop; its
    // fixed list of colours is not built in, so any colour.
    {"nes", {16, 16, 4, 4, 1, {8, 8, 8}}},
    // PC Engine backgrounds: 8 x 8 tiles, 16 palettes of 16, colour 0 shared, 9-bit colour.
    {"pce", {8, 8, 16, 16, 1, {3, 3, 3}}},
};
const int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);

const Target* FindTarget(std::string_view name) {
    for (int i = 0; i < kTargetCount; ++i) {
        if (kTargets[i].name == name) {
            return &kTargets[i];
        }
    }
    return nullptr;
}

ShapeProblem CheckShape(const TileShape& shape, int fixedCount) {
    if (shape.width < 1 || shape.height < 1 || shape.width > kMaxTileSide ||
        shape.height > kMaxTileSide) {
        return ShapeProblem::TileSide;
    }
    if (shape.palettes < 1 || shape.palettes > 256) {
        return ShapeProblem::PaletteCount;
    }
    if (shape.size < 2 || shape.size > 256) {
        return ShapeProblem::PaletteSize;
    }
    if (shape.palettes * shape.size > 256) {
        return ShapeProblem::TooManyEntries;
    }
    if (shape.shared < 0 || shape.shared > shape.size) {
        return ShapeProblem::Shared;
    }
    if (fixedCount < 0 || fixedCount > shape.shared) {
        return ShapeProblem::FixedColours;
    }
    return ShapeProblem::Fine;
}

} // namespace tiles
