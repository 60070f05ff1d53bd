// The types error diffusion shares between its palette assembly, its dithering and its
// callers. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>

namespace reduce {

// 256 entries of red, green, blue and flags.
using DiffusionPalette = std::array<std::uint8_t, 1024>;

// Which palette and which dithering a run uses.
enum class DiffusionMethod {
    Basic,    // the user's fixed colours, 42 basic ones and the most frequent others; three
              // neighbours take the error
    Adaptive, // the fixed colours and 256 - F chosen for the image; Floyd-Steinberg weights
};

// Stage reports of a run, in the order they happen.
class DiffusionObserver {
  public:
    virtual ~DiffusionObserver() = default;
    // First of all: the sizes of the three palette groups.
    virtual void Opening(int fixed, int basic, int free) = 0;
    // Phase 0 (counting) is where a run starts; 1 (ranking, or with the adaptive method 3,
    // choosing the palette) and 2 (dithering) follow.
    virtual void Phase(int phase) = 0;
    // Work done out of total in the current phase. Only counts that are multiples of 100 are
    // reported: the others change nothing a progress display shows.
    virtual void Progress(std::int64_t done, std::int64_t total) = 0;
    // The palette is assembled: 256 entries of red, green, blue and a flags byte of 1.
    virtual void PaletteComplete(const std::uint8_t* entries) = 0;
    // The image has been rewritten.
    virtual void Finished() = 0;
};

struct DiffusionInput {
    int fixedCount = 0;                       // F; held to 0..256
    const std::uint8_t* fixedTable = nullptr; // user palette: blue, green, red, reserved per entry
    const std::uint8_t* basicPalette = nullptr; // 42 triplets of red, green, blue
    int threads = 0; // threads that dither: 1 or 2, or 0 to choose by the image's size
    DiffusionMethod method = DiffusionMethod::Basic;
};

// The sizes of the three groups for F fixed colours: B = 42 while it fits, N the rest.
struct GroupSizes {
    int fixed, basic, free;
};
GroupSizes GroupSizesFor(int fixedCount);

// The shares of one channel's error e passed to the right neighbour, the neighbour in the
// next row, and the next row's right neighbour: 3e/8, 3e/8 and e/4, each rounded toward
// zero, so small errors vanish.
struct ErrorShares {
    int right, down, downRight;
};
inline ErrorShares SharesOf(int e) {
    return {3 * e / 8, 3 * e / 8, e / 4};
}

} // namespace reduce
