// The palettes users ask for by name, whose values are published facts: "pico8" (16),
// "gameboy" (the 4 greens), "cga" (16), "ega" (64: 2 bits a channel), "genesis" (512: 3 bits a
// channel) and "websafe" (216). Portable: no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palette {

// The colours (0x00RRGGBB) of the palette of that name (lower case), in their usual order;
// false, with `colours` untouched, for any other name.
bool FindNamedPalette(const std::string& name, std::vector<std::uint32_t>& colours);

// The names, in the order above.
extern const char* const kPaletteNames[];
extern const int kPaletteNameCount;

} // namespace palette
