#include <algorithm>

#include "core/tiles/tiles.h"

namespace tiles {

// The background tiles of each device: tile size, palettes of entries, the entries every
// palette shares (colour 0, the backdrop or transparent colour) and the bits a channel.
const Target kTargets[] = {
    // SNES, mode 1 backgrounds: 8 palettes of 16 in CGRAM, BGR555.
    {"snes", {8, 8, 8, 16, 1, {5, 5, 5}}},
    // Game Boy Advance, 4-bit backgrounds: 16 palettes of 16 in palette RAM, BGR555.
    {"gba", {8, 8, 16, 16, 1, {5, 5, 5}}},
    // Game Boy Color: 8 background palettes of 4, no colour shared, 15-bit colour.
    {"gbc", {8, 8, 8, 4, 0, {5, 5, 5}}},
    // Mega Drive / Genesis: 4 palettes of 16 in CRAM, 9-bit colour.
    {"genesis", {8, 8, 4, 16, 1, {3, 3, 3}}},
    // NES: a palette chosen per 16 x 16 area, 4 palettes of 4 sharing the backdrop; its fixed
    // list of colours is not built in, so every colour is allowed.
    {"nes", {16, 16, 4, 4, 1, {8, 8, 8}}},
    // PC Engine: 16 background palettes of 16 sharing colour 0, 9-bit colour.
    {"pce", {8, 8, 16, 16, 1, {3, 3, 3}}},
};
const int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);

const Target* FindTarget(std::string_view name) {
    const auto found = std::find_if(kTargets, kTargets + kTargetCount,
                                    [name](const Target& t) { return t.name == name; });
    return found == kTargets + kTargetCount ? nullptr : found;
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
    return fixedCount < 0 || fixedCount > shape.shared ? ShapeProblem::FixedColours
                                                       : ShapeProblem::Fine;
}

} // namespace tiles
