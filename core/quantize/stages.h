// What an error-diffusion run is made of and what it is given: the palette it builds, whether
// the palette is fitted to dithering, the dithering, and the user's colours. Portable: no
// platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace quantize {

// 256 entries of red, green, blue and flags.
using DiffusionPalette = std::array<std::uint8_t, 1024>;

// How the entries after the user's fixed colours are chosen.
enum class PaletteMethod {
    Groups,   // the 42 basic colours, then the image's most frequent other colours
    Adaptive, // colours chosen for the image: boxes of least variance, refined
};

// How each pixel is given an entry.
enum class DitherMethod {
    ThreeNeighbour, // the error goes to the right, below and below right, rounded toward zero
    Serpentine,     // Floyd-Steinberg weights in serpentine order, the error carried apart
};

struct Stages {
    PaletteMethod palette;
    bool fit; // the palette is fitted to the dithering before the image is dithered
    DitherMethod dither;
};

// 誤差拡散 and 誤差拡散（高画質）.
inline constexpr Stages kBasicDiffusion{PaletteMethod::Groups, false, DitherMethod::ThreeNeighbour};
inline constexpr Stages kHighQualityDiffusion{PaletteMethod::Adaptive, true,
                                              DitherMethod::Serpentine};

// What the palette stage tells the stages after it: the leading entries that must keep their
// colours (the user's fixed ones, an image's flat colours), and whether the entries are colours
// of the image itself, so that a pixel of an entry's colour takes that entry.
struct PaletteFacts {
    int pinned = 0;
    bool exactColours = false;
};

struct DiffusionInput {
    int fixedCount = 0;                       // F; held to 0..256
    const std::uint8_t* fixedTable = nullptr; // user palette: blue, green, red, reserved per entry
    const std::uint8_t* basicPalette = nullptr; // 42 triplets of red, green, blue
    int threads = 0; // threads that dither: 1 or 2, or 0 to choose by the image's size
    Stages stages = kBasicDiffusion;
};

// The sizes of the palette's three groups for F fixed colours. With the groups palette
// B = 42 while it fits and N the rest; the adaptive palette has no basic group.
struct GroupSizes {
    int fixed, basic, free;
};
GroupSizes GroupSizesFor(int fixedCount, PaletteMethod method = PaletteMethod::Groups);

} // namespace quantize
