// Nearest palette colour: the entry with the smallest squared distance in red, green and
// blue, unweighted; on a tie the lowest index. Portable: no platform headers.
//
// The palette is chosen with green weighted twice (kWeight in colour_items.h), the mapping is
// not, and the two differ on purpose for now.
// Measured with one distance either way (bench/quality.py on the 18 bench photographs and 9
// generated graphics, mean PSNR / PSNR after a slight blur / SSIM of those that do not come
// back exact; butteraugli, mean of 4 photographs and 2 graphics):
//
//   colours, images    palette 1/2/1, mapping    both 1/2/1              both unweighted
//                      unweighted (as built)
//   256, photographs   39.35 / 47.42 / .9646     39.21 / 47.24 / .9689   39.40 / 47.44 / .9644
//   256, graphics      53.79 / 58.71 / .9703     53.70 / 58.52 / .9743   53.95 / 58.79 / .9702
//   64, photographs    36.03 / 43.75 / .9059     35.95 / 43.50 / .9134   36.05 / 43.68 / .9045
//   16, photographs    30.05 / 36.99 / .7737     29.96 / 36.75 / .7792   30.03 / 37.09 / .7696
//   butteraugli 256    5.39                      4.76                    5.26
//   butteraugli 16     31.46                     29.90                   30.85
//
// An unweighted palette gains nothing beyond 0.1 dB and loses SSIM with fewer colours (-0.004
// at 16), so the palette stays weighted. A weighted mapping trades 0.1 dB of PSNR and 0.2 dB
// after a blur for SSIM (+0.004 to +0.0075) and butteraugli (12 % lower at 256 colours): a
// change of every result, left to a step of its own, so the mapping stays unweighted.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/quantize/stages.h"

namespace quantize {

// Answers each question from a table of the 64 answers of the cell of a 64 x 64 x 64 grid
// over the colour cube that holds the colour. A cell's table is worked out the first time it
// is asked about, from the entries that can be the nearest to some colour of it; those come
// from the list of its enclosing cell of a 32 x 32 x 32 grid, worked out the same way from
// the list of its cell of a 16 x 16 x 16 grid, and so on up to a 4 x 4 x 4 grid, whose lists
// come from all 256 entries. A cell with one contender shares a table of that entry's
// answers. The answer is always that of a search of all 256 entries, ties included.
//
// Up to kMaxShards threads may ask at once, each with its own shard number: each shard
// keeps the tables it works out in its own space, and a cell worked out by two shards at
// once gets the same answers either way.
class NearestColour {
  public:
    static constexpr int kMaxShards = 2;
    // `palette`: 256 entries of red, green, blue, flags; the answers are among entries
    // first to end - 1 (first < end).
    explicit NearestColour(const std::uint8_t* palette, int shards = 1, int first = 0,
                           int end = 256);
    explicit NearestColour(const DiffusionPalette& palette, int shards = 1, int first = 0,
                           int end = 256)
        : NearestColour(BytesOf(palette), shards, first, end) {}

    // Forgets every answer and takes a new palette, keeping the space set aside and the
    // entries the answers are among.
    void Reset(const std::uint8_t* palette);
    void Reset(const DiffusionPalette& palette) { Reset(BytesOf(palette)); }

    // A colour's cell in the low 18 bits of Spread(0, blue) | Spread(1, green) | Spread(2, red),
    // and its place in the cell's table of 64 answers above them: one table per channel.
    static std::uint32_t Spread(int channel, int level) { return kSpread[channel][level]; }

    // Never allocates: everything it needs is set aside by the constructor.
    int Find(int red, int green, int blue, int shard = 0) {
        return Reader(*this, shard).Find(Spread(0, blue) | Spread(1, green) | Spread(2, red));
    }

    // Answers for one shard, from pointers that a loop can keep at hand: asking through the
    // object reads them anew after every byte the loop writes.
    class Reader {
      public:
        Reader(NearestColour& owner, int shard)
            : slots_(owner.fine_.get()), answers_(owner.answers_.get()), owner_(&owner),
              shard_(shard) {}
        // Inlined where it is asked, once for every pixel.
        inline __attribute__((always_inline)) int Find(std::uint32_t spread) const {
            const std::uint32_t cell = spread & kCells;
            const std::uint32_t slot = slots_[cell].load(std::memory_order_acquire);
            const std::uint8_t* answers = slot != kNotBuilt
                                              ? answers_ + slot
                                              : owner_->WorkOut(static_cast<int>(cell), shard_);
            return answers[spread >> 18];
        }

      private:
        const std::atomic<std::uint32_t>* slots_;
        const std::uint8_t* answers_;
        NearestColour* owner_;
        int shard_;
    };

  private:
    static const std::uint8_t* BytesOf(const DiffusionPalette& palette) {
        return reinterpret_cast<const std::uint8_t*>(palette.data());
    }
    static constexpr std::uint32_t kCells = (1u << 18) - 1;
    // Bytes set aside per shard for the tables of cells with several contenders: a quarter
    // of the 64 x 64 x 64 cells' tables.
    static constexpr std::size_t kTableSpace = std::size_t{4} << 20;
    static constexpr auto kSpread = [] {
        std::array<std::array<std::uint32_t, 256>, 3> spread{};
        for (int c = 0; c < 3; ++c) {
            for (std::uint32_t v = 0; v < 256; ++v) {
                spread[c][v] = (v >> 2) << (6 * c) | (v & 3) << (18 + 2 * c);
            }
        }
        return spread;
    }();

    // A fine cell's slot: kNotBuilt, or the offset of its table in answers_. The first
    // 256 tables after the unused one at 0 are those of single entries. When a shard's space
    // is full, a cell's table is worked out anew each time.
    static constexpr std::uint32_t kNotBuilt = 0;

    // The lists of the cells of the 8 x 8 x 8, 16 x 16 x 16 and 32 x 32 x 32 grids that have
    // been asked about: a cell's slot is 0 or the offset + 1 of its list, count - 1 and then
    // the entries. When a shard's space is full, a cell's list is worked out anew each time.
    static constexpr int kListLevels = 3;
    struct ListLevel {
        int cellsPerSide;
        std::size_t space; // bytes per shard
        std::unique_ptr<std::atomic<std::uint32_t>[]> slots;
        std::unique_ptr<std::uint8_t[]> lists;
    };
    struct Shard {
        std::size_t tablesStart, tablesEnd, tablesLimit;            // the shard's part of answers_
        std::size_t listsStart[kListLevels], listsEnd[kListLevels]; // and of each level's lists
        std::uint8_t scratch[64];                                   // a table that found no room
        std::uint8_t scratchLists[kListLevels][257];                // lists that found no room
    };

    int Contenders(const int low[3], int width, const std::uint8_t* from, int count,
                   std::uint8_t* out) const;
    // The list of the cell of `level` at the given place on each side.
    const std::uint8_t* List(int level, int r, int g, int b, Shard& shard);
    void FillTable(const int low[3], const std::uint8_t* list, int n, std::uint8_t* table) const;
    const std::uint8_t* WorkOut(int cell, int shard);

    int colours_[768];
    int norms_[256];            // each entry's squared distance from black
    std::uint8_t top_[64][257]; // 4 x 4 x 4 cells: count - 1, then the contenders
    int shardCount_;
    int first_, end_;
    std::unique_ptr<std::atomic<std::uint32_t>[]> fine_; // 64 x 64 x 64 slots
    std::unique_ptr<std::uint8_t[]> answers_;            // tables of 64 answers
    ListLevel levels_[kListLevels];                      // 8 x 8 x 8, 16 x 16 x 16, 32 x 32 x 32
    Shard shards_[kMaxShards];
};

} // namespace quantize
