// Error diffusion: assembles a 256-colour palette (the user's fixed colours, the basic
// colours and the image's most frequent other colours), maps every pixel to its nearest
// palette colour passing the error on to three neighbours, and rewrites the image in place
// as an 8-bit BMP. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "reduce/rewrite.h"

namespace reduce {

// Stage reports of a run, in the order they happen.
class DiffusionObserver {
  public:
    virtual ~DiffusionObserver() = default;
    // First of all: the sizes of the three palette groups.
    virtual void Opening(int fixed, int basic, int free) = 0;
    // Phase 0 (counting) is where a run starts; 1 (ranking) and 2 (dithering) follow.
    virtual void Phase(int phase) = 0;
    // Work done out of total in the current phase. Only counts that are multiples of 100 are
    // reported: the others change nothing a progress display shows.
    virtual void Progress(std::int64_t done, std::int64_t total) = 0;
    // The palette is assembled: 256 entries of red, green, blue and a flags byte of 1.
    virtual void PaletteComplete(const std::uint8_t* entries) = 0;
    // The image has been rewritten.
    virtual void Finished() = 0;
};

// An observer for callers that want no reports.
class NoReports : public DiffusionObserver {
  public:
    void Opening(int, int, int) override {}
    void Phase(int) override {}
    void Progress(std::int64_t, std::int64_t) override {}
    void PaletteComplete(const std::uint8_t*) override {}
    void Finished() override {}
};

struct DiffusionInput {
    int fixedCount = 0;                       // F; held to 0..256
    const std::uint8_t* fixedTable = nullptr; // user palette: blue, green, red, reserved per entry
    const std::uint8_t* basicPalette = nullptr; // 42 triplets of red, green, blue
    int threads = 0; // threads that dither: 1 or 2, or 0 to choose by the image's size
};

enum class DiffusionOutcome {
    Converted,
    NotTrueColour,     // 8 bits per pixel or fewer: already 256 colours; nothing changed
    UnsupportedLayout, // 16 or 32 bits, other headers, pixels not at 54, ...; nothing changed
    Truncated,         // the file ends before its last pixel row; nothing changed
    NoMemory,          // the block could not grow for the result; nothing changed
};

struct DiffusionResult {
    DiffusionOutcome outcome;
    std::uint64_t newSize; // the document's length afterwards
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

// Runs the whole conversion on the file image data[0, size).
DiffusionResult DiffuseImage(std::uint8_t* data, std::uint64_t size, const Resizer& resize,
                             const DiffusionInput& input, DiffusionObserver& observer);

} // namespace reduce
