#include "core/palette/named_palettes.h"

#include <iterator>

namespace palette {
namespace {

// The fantasy console's 16 colours, in its colour numbers 0 to 15.
constexpr std::uint32_t kPico8[] = {
    0x000000, 0x1D2B53, 0x7E2553, 0x008751, 0xAB5236, 0x5F574F, 0xC2C3C7, 0xFFF1E8,
    0xFF004D, 0xFFA300, 0xFFEC27, 0x00E436, 0x29ADFF, 0x83769C, 0xFF77A8, 0xFFCCAA,
};

// The original handheld's four greens, lightest to darkest: the order of its shade numbers 0
// to 3.
constexpr std::uint32_t kGameBoy[] = {0x9BBC0F, 0x8BAC0F, 0x306230, 0x0F380F};

// The colour graphics adapter's 16 colours in their numbers: 0x55 added for the bright ones,
// and colour 6 brown (dark yellow with its green halved).
constexpr std::uint32_t kCga[] = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};

// A palette is either a table or every colour of a grid of `levels` values a channel, the
// value of level v being v * 255 / (levels - 1) rounded, in the plain order: red, then green,
// then blue counting fastest.
struct Named {
    const std::uint32_t* table;
    int count;
    int levels;
};

// In the order of kPaletteNames.
constexpr Named kNamed[] = {
    {kPico8, static_cast<int>(std::size(kPico8)), 0},
    {kGameBoy, static_cast<int>(std::size(kGameBoy)), 0},
    {kCga, static_cast<int>(std::size(kCga)), 0},
    {nullptr, 0, 4}, // ega, 64: 2 bits a channel, 0x00, 0x55, 0xAA, 0xFF
    {nullptr, 0, 8}, // genesis, 512: 3 bits a channel, 0, 36, 73, ... 255
    {nullptr, 0, 6}, // websafe, 216: 0x00, 0x33, ... 0xFF
};

std::uint32_t Level(int v, int levels) {
    return static_cast<std::uint32_t>((v * 255 + (levels - 1) / 2) / (levels - 1));
}

} // namespace

const char* const kPaletteNames[] = {"pico8", "gameboy", "cga", "ega", "genesis", "websafe"};
const int kPaletteNameCount = static_cast<int>(std::size(kPaletteNames));
static_assert(std::size(kNamed) == std::size(kPaletteNames));

bool FindNamedPalette(const std::string& name, std::vector<std::uint32_t>& colours) {
    for (int p = 0; p < kPaletteNameCount; ++p) {
        if (name != kPaletteNames[p]) {
            continue;
        }
        const Named& named = kNamed[p];
        colours.assign(named.table, named.table + named.count);
        const int n = named.levels;
        for (int i = 0; i < n * n * n; ++i) {
            colours.push_back(Level(i / (n * n), n) << 16 | Level(i / n % n, n) << 8 |
                              Level(i % n, n));
        }
        return true;
    }
    return false;
}

} // namespace palette
