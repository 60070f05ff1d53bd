// Nearest palette colour: the entry with the smallest squared distance in red, green and
// blue; on a tie the lowest index. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace reduce {

// Answers each question from a short list of candidates kept per cell of a 32 x 32 x 32
// grid over the colour cube, built when the cell is first asked about; where that list is
// long, from the list of the enclosing cell of a finer 64 x 64 x 64 grid (built from the
// coarse one). A cell's list holds every entry that can
// be the nearest to some colour in the cell, ordered by its distance to the cell, so that a
// search stops as soon as no further entry can come closer. Ties go to the lowest index, so
// the answer is always that of a search of all 256 entries. A small cache of recent
// answers sits in front.
class NearestColour {
  public:
    // `palette`: 256 entries of red, green, blue, flags.
    explicit NearestColour(const std::uint8_t* palette);

    int Find(int red, int green, int blue) {
        const std::uint32_t key = static_cast<std::uint32_t>(red << 16 | green << 8 | blue);
        CacheLine& line = cache_[(key * 0x9E3779B1u) >> (32 - kCacheBits)];
        if (line.keyPlusOne == key + 1) {
            return static_cast<int>(line.entry);
        }
        // A coarse cell with a short list is searched as it is; a long one through the
        // finer cell.
        const int coarse = (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3);
        if (coarse_.start[coarse] == kNotBuilt) {
            BuildCoarseCell(coarse);
        }
        const Candidate* c = &coarse_.candidates[coarse_.start[coarse]];
        if (coarseLength_[coarse] > kShortList) {
            const int cell = (red >> 2) << 12 | (green >> 2) << 6 | (blue >> 2);
            if (fine_.start[cell] == kNotBuilt) {
                BuildFineCell(cell);
            }
            c = &fine_.candidates[fine_.start[cell]];
        }
        // Distance and index in one number, so that the smaller one is the better answer.
        int best = Distance(*c & 0xFF, red, green, blue) << 8 | (*c & 0xFF);
        for (++c; static_cast<int>(*c >> 8) <= best >> 8; ++c) {
            const int entry = static_cast<int>(*c & 0xFF);
            const int rank = Distance(entry, red, green, blue) << 8 | entry;
            best = rank < best ? rank : best;
        }
        line = {key + 1, static_cast<std::uint32_t>(best & 0xFF)};
        return best & 0xFF;
    }

  private:
    // An entry with its squared distance to the nearest point of the cell: distance << 8 |
    // entry, so that candidates sort by distance and then by index.
    using Candidate = std::uint32_t;
    static constexpr Candidate kEndOfList = 0xFFFFFFFFu;
    struct Grid {
        std::vector<std::uint32_t> start;  // where each cell's list begins, or kNotBuilt
        std::vector<Candidate> candidates; // each list ends with a sentinel
    };
    struct CacheLine {
        std::uint32_t keyPlusOne;
        std::uint32_t entry;
    };
    static constexpr std::uint32_t kNotBuilt = 0xFFFFFFFFu;
    static constexpr int kCacheBits = 14;
    static constexpr int kShortList = 16;

    int Distance(int entry, int red, int green, int blue) const {
        const int dr = red - colours_[3 * entry];
        const int dg = green - colours_[3 * entry + 1];
        const int db = blue - colours_[3 * entry + 2];
        return dr * dr + dg * dg + db * db;
    }
    void BuildCoarseCell(int cell);
    void BuildFineCell(int cell);
    void BuildList(Grid& grid, std::uint32_t cell, const int low[3], int width,
                   const Candidate* from, const Candidate* end);

    int colours_[768];
    Grid coarse_;                             // 32 x 32 x 32 cells, 8 levels wide
    Grid fine_;                               // 64 x 64 x 64 cells, 4 levels wide
    std::vector<std::uint16_t> coarseLength_; // entries in each built coarse list
    std::vector<CacheLine> cache_;
};

} // namespace reduce
