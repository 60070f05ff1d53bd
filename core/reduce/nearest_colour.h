// Nearest palette colour: the entry with the smallest squared distance in red, green and
// blue; on a tie the lowest index. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reduce {

// Answers each question from what is known of the cell of a 64 x 64 x 64 grid over the
// colour cube that holds the colour: the one entry that is the nearest to every colour of the
// cell, or a short list of the entries that can be the nearest to some colour of it, or, when
// that list is long, the answers for all 64 colours of the cell. A cell is worked out the
// first time it is asked about, from the list of its enclosing cell of a coarser 16 x 16 x 16
// grid, which is worked out the same way from all 256 entries. The answer is always that of a
// search of all 256 entries, ties included.
class NearestColour {
  public:
    // Bytes set aside for the records of cells with several contenders.
    static constexpr std::size_t kRecordSpace = std::size_t{4} << 20;

    // `palette`: 256 entries of red, green, blue, flags.
    explicit NearestColour(const std::uint8_t* palette, std::size_t recordSpace = kRecordSpace);

    // Never allocates: everything it needs is set aside by the constructor.
    int Find(int red, int green, int blue) {
        const int cell = (red >> 2) << 12 | (green >> 2) << 6 | (blue >> 2);
        const std::uint32_t slot = fine_[static_cast<std::size_t>(cell)];
        if (slot & kSingle) {
            return static_cast<int>(slot >> 1);
        }
        const std::uint8_t* record = slot != kNotBuilt ? &fineLists_[slot >> 1] : WorkOut(cell);
        if (record[0] == kAnswerTable) {
            return record[1 + ((red & 3) << 4 | (green & 3) << 2 | (blue & 3))];
        }
        return NearestOf(record + 1, record[0], red, green, blue);
    }

  private:
    // A fine cell's slot: kNotBuilt; entry << 1 | kSingle when one entry is the nearest to
    // all its colours; otherwise offset << 1 of its record in fineLists_: a count of entries
    // and the entries, or kAnswerTable and 64 answers in blue-fastest order. When the space
    // set aside for records is full, a cell's record is worked out anew each time.
    static constexpr std::uint32_t kNotBuilt = 0;
    static constexpr std::uint32_t kSingle = 1;
    static constexpr std::uint8_t kAnswerTable = 0;
    // Lists longer than this are turned into answer tables.
    static constexpr int kLongestList = 6;

    int Rank(int entry, int red, int green, int blue) const {
        const int dr = red - colours_[3 * entry];
        const int dg = green - colours_[3 * entry + 1];
        const int db = blue - colours_[3 * entry + 2];
        return (dr * dr + dg * dg + db * db) << 8 | entry;
    }
    // The nearest of the n entries of `list` (n >= 1).
    int NearestOf(const std::uint8_t* list, int n, int red, int green, int blue) const {
        // Distance and index in one number, so that the smaller one is the better answer.
        int best = Rank(list[0], red, green, blue);
        for (int i = 1; i < n; ++i) {
            const int rank = Rank(list[i], red, green, blue);
            best = rank < best ? rank : best;
        }
        return best & 0xFF;
    }
    int Contenders(const int low[3], int width, const std::uint8_t* from, int count,
                   std::uint8_t* out) const;
    const std::uint8_t* CoarseList(int cell, int& count);
    const std::uint8_t* WorkOut(int cell);

    int colours_[768];
    std::vector<std::uint32_t> fine_;       // 64 x 64 x 64 slots, cells 4 levels wide
    std::vector<std::uint8_t> fineLists_;   // records of fine cells with several contenders
    std::vector<std::uint32_t> coarse_;     // 16 x 16 x 16: offset + 1 of a list in coarseLists_
    std::vector<std::uint8_t> coarseLists_; // count - 1, then the entries
    std::uint8_t record_[65];               // the record WorkOut made last
};

} // namespace reduce
