#include "reduce/nearest_colour.h"

#include <algorithm>

namespace reduce {
namespace {

// Squared distance from v to the nearest and to the farthest point of [low, high].
inline int Nearer(int v, int low, int high) {
    const int d = v < low ? low - v : (v > high ? v - high : 0);
    return d * d;
}
inline int Farther(int v, int low, int high) {
    const int d = v - low > high - v ? v - low : high - v;
    return d * d;
}

} // namespace

NearestColour::NearestColour(const std::uint8_t* palette)
    : cache_(std::size_t{1} << kCacheBits, CacheLine{0, 0}) {
    for (int e = 0; e < 256; ++e) {
        colours_[3 * e] = palette[4 * e];
        colours_[3 * e + 1] = palette[4 * e + 1];
        colours_[3 * e + 2] = palette[4 * e + 2];
    }
    coarse_.start.assign(32 * 32 * 32, kNotBuilt);
    coarseLength_.assign(32 * 32 * 32, 0);
    fine_.start.assign(64 * 64 * 64, kNotBuilt);
}

// Lists, for the cell of `width` levels from `low`, the entries among [from, end) that can be
// the nearest to some colour of the cell. Every colour of the cell lies within `bound` of
// the entry that gave the bound, so an entry whose nearest point of the cell is farther is
// never the nearest. [from, end) is ordered by distance to an enclosing cell, which is never
// more than the distance to this one, so both scans stop at the first entry beyond the bound.
void NearestColour::BuildList(Grid& grid, std::uint32_t cell, const int low[3], int width,
                              const Candidate* from, const Candidate* end) {
    std::uint32_t bound = 0xFFFFFF;
    for (const Candidate* c = from; c != end && (*c >> 8) <= bound; ++c) {
        const int entry = static_cast<int>(*c & 0xFF);
        int far = 0;
        for (int k = 0; k < 3; ++k) {
            far += Farther(colours_[3 * entry + k], low[k], low[k] + width - 1);
        }
        bound = std::min(bound, static_cast<std::uint32_t>(far));
    }
    const std::size_t start = grid.candidates.size();
    for (const Candidate* c = from; c != end && (*c >> 8) <= bound; ++c) {
        const int entry = static_cast<int>(*c & 0xFF);
        int near = 0;
        for (int k = 0; k < 3; ++k) {
            near += Nearer(colours_[3 * entry + k], low[k], low[k] + width - 1);
        }
        if (static_cast<std::uint32_t>(near) <= bound) {
            grid.candidates.push_back(static_cast<std::uint32_t>(near) << 8 | entry);
        }
    }
    // By distance to the cell, and by index among equal distances.
    std::sort(grid.candidates.begin() + static_cast<std::ptrdiff_t>(start), grid.candidates.end());
    grid.candidates.push_back(kEndOfList); // ends every search
    grid.start[cell] = static_cast<std::uint32_t>(start);
}

void NearestColour::BuildCoarseCell(int cell) {
    // Every entry lies at distance 0 from the whole cube, which encloses every cell.
    Candidate all[256];
    for (int e = 0; e < 256; ++e) {
        all[e] = static_cast<Candidate>(e);
    }
    const int low[3] = {(cell >> 10) * 8, ((cell >> 5) & 31) * 8, (cell & 31) * 8};
    BuildList(coarse_, static_cast<std::uint32_t>(cell), low, 8, all, all + 256);
    coarseLength_[cell] =
        static_cast<std::uint16_t>(coarse_.candidates.size() - 1 - coarse_.start[cell]);
}

void NearestColour::BuildFineCell(int cell) {
    const int r = cell >> 12, g = (cell >> 6) & 63, b = cell & 63;
    const std::uint32_t parent =
        static_cast<std::uint32_t>((r >> 1) << 10 | (g >> 1) << 5 | b >> 1);
    if (coarse_.start[parent] == kNotBuilt) {
        BuildCoarseCell(static_cast<int>(parent));
    }
    // The fine list is built from a copy: the coarse list may move as it grows.
    Candidate from[256];
    int count = 0;
    for (const Candidate* c = &coarse_.candidates[coarse_.start[parent]]; *c != kEndOfList; ++c) {
        from[count++] = *c;
    }
    const int low[3] = {r * 4, g * 4, b * 4};
    BuildList(fine_, static_cast<std::uint32_t>(cell), low, 4, from, from + count);
}

} // namespace reduce
