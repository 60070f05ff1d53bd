// What an error-diffusion run is made of and what it is given: the palette it builds, the
// dithering (which may fit the palette to itself), and the user's colours. Portable: no
// platform headers.
#pragma once

#include <array>
#include <cstdint>

#include "core/quantize/device_colours.h"
#include "core/quantize/entry_order.h"
#include "core/quantize/kernels.h"
#include "core/quantize/patterns.h"

namespace quantize {

// A palette entry: red, green, blue and the flags byte (1 in every entry of error diffusion),
// four bytes in this order, as the platform's palette entries are.
struct PaletteEntry {
    std::uint8_t red = 0, green = 0, blue = 0, flags = 0;

    bool operator==(const PaletteEntry&) const = default;
    bool SameColour(const PaletteEntry& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    std::uint32_t Colour() const { // 0x00RRGGBB
        return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 |
               blue;
    }
    // An entry of error diffusion of a colour (0x00RRGGBB).
    static PaletteEntry OfColour(std::uint32_t colour) {
        return {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                static_cast<std::uint8_t>(colour), 1};
    }
};
static_assert(sizeof(PaletteEntry) == 4);

// 256 entries.
using DiffusionPalette = std::array<PaletteEntry, 256>;

// How the entries after the user's fixed colours are chosen.
enum class PaletteMethod {
    Groups,   // the 42 basic colours, then the image's most frequent other colours
    Adaptive, // colours chosen for the image: boxes of least variance, refined
};

// How each pixel is given an entry.
enum class DitherMethod {
    ThreeNeighbour, // the error goes to the right, below and below right, rounded toward zero
    Kernel,         // an error-diffusion kernel (Choices::kernel), the error carried apart
    Ordered,        // a threshold pattern (Choices::pattern): a colour at a place always takes
                    // the same entry
    Nearest,        // no dithering: each pixel takes its nearest entry
};

// The palette, then the dithering; an error-diffusion kernel fits the palette to itself first,
// the others take the palette as it is.
struct Stages {
    PaletteMethod palette;
    DitherMethod dither;

    bool operator==(const Stages&) const = default;
};

// 誤差拡散 and 誤差拡散（高画質）.
inline constexpr Stages kBasicDiffusion{PaletteMethod::Groups, DitherMethod::ThreeNeighbour};
inline constexpr Stages kHighQualityDiffusion{PaletteMethod::Adaptive, DitherMethod::Kernel};

// 誤差拡散（高画質） with another dithering.
constexpr Stages HighQualityStages(DitherMethod dither) {
    return {PaletteMethod::Adaptive, dither};
}

// What the user may choose of 誤差拡散（高画質）: how many entries the image may use, the
// fixed ones among them; how much of its error the error diffusion passes on; whether entry
// 0, the first fixed colour, is a transparent key colour; and the dithering's kernel or
// pattern, its order and its light; and the effort, how much time it may spend for a better
// picture (refine.h). The defaults are the method as it always was.
struct Choices {
    int colours = 256;  // 2 to 256
    int strength = 100; // percent, 0 to 100
    bool key = false;
    KernelName kernel = KernelName::FloydSteinberg; // of DitherMethod::Kernel
    bool serpentine = true; // the kernel's rows in turn from either side, where it runs so
    bool linear = false;    // the kernel's error carried in linear light
    PatternName pattern = PatternName::Bayer8; // of DitherMethod::Ordered
    int effort = 5;                            // kMinEffort to kMaxEffort
    // The bits of red, green and blue the device shows (1 to 8 each): every chosen entry lies
    // on their grid (device_colours.h). 8, 8, 8 is every colour.
    std::array<int, 3> depth = {8, 8, 8};
    // The order of the chosen entries in the written table (entry_order.h); the fixed ones
    // stay first.
    EntryOrder order = EntryOrder::Keep;
};
inline constexpr int kMinColours = 2;
inline constexpr int kMinEffort = 1, kMaxEffort = 10, kDefaultEffort = Choices{}.effort;

// What the palette stage tells the stages after it: the leading entries that must keep their
// colours (the user's fixed ones, an image's flat colours), and whether the entries are colours
// of the image itself, so that a pixel of an entry's colour takes that entry.
struct PaletteFacts {
    int pinned = 0;
    bool exactColours = false;
    int entries = 256;    // pixels take entries below this
    bool key = false;     // pixels of entry 0's colour take it, and no other pixel does
    DeviceColours device; // the colours every entry after the fixed ones is one of
};

struct DiffusionInput {
    int fixedCount = 0;                       // F; held to 0..256
    const std::uint8_t* fixedTable = nullptr; // user palette: blue, green, red, reserved per entry
    const std::uint8_t* basicPalette = nullptr; // 42 triplets of red, green, blue
    int threads = 0; // threads that dither: 1 or 2, or 0 to choose by the image's size
    Stages stages = kBasicDiffusion;
    Choices choices = {}; // of the adaptive palette and the dithering after it
    // A list of colours (0x00RRGGBB) the chosen entries are taken from, none when null: the
    // best `choices.colours` - F of them for the image, or all of them where they fit.
    const std::uint32_t* fromColours = nullptr;
    int fromCount = 0; // 1 to palette::kMaxListColours
};

// The sizes of the palette's three groups for F fixed colours. With the groups palette
// B = 42 while it fits and N the rest; the adaptive palette has no basic group, and of its
// `colours` entries the fixed ones take up to all.
struct GroupSizes {
    int fixed, basic, free;
};
GroupSizes GroupSizesFor(int fixedCount, PaletteMethod method = PaletteMethod::Groups,
                         int colours = 256);

} // namespace quantize
