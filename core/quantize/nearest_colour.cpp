#include "core/quantize/nearest_colour.h"

#include <algorithm>

namespace quantize {
namespace {

constexpr std::size_t kFineCells = 64 * 64 * 64;
// Each list level's cells per side, and the bytes each shard sets aside for its lists: all of
// the two coarser grids' lists, however long (every cell with all 256 entries), and many of
// the finest.
constexpr int kCellsPerSide[3] = {8, 16, 32};
constexpr std::size_t kListSpace[3] = {8 * 8 * 8 * 257, 16 * 16 * 16 * 257, std::size_t{2} << 20};

} // namespace

NearestColour::NearestColour(const std::uint8_t* palette, int shards, int first, int end)
    : shardCount_(std::clamp(shards, 1, kMaxShards)), first_(std::clamp(first, 0, 255)),
      end_(std::clamp(end, first_ + 1, 256)), fine_(new std::atomic<std::uint32_t>[kFineCells]()) {
    const std::size_t tableSpace = kTableSpace;
    // The space is set aside here and never grows; pages that are never written cost nothing.
    const std::size_t singles = 64 * 257;
    const std::size_t n = static_cast<std::size_t>(shardCount_);
    answers_.reset(new std::uint8_t[singles + n * tableSpace]);
    for (int level = 0; level < kListLevels; ++level) {
        ListLevel& l = levels_[level];
        const std::size_t cells = static_cast<std::size_t>(kCellsPerSide[level]);
        l.cellsPerSide = kCellsPerSide[level];
        l.space = kListSpace[level];
        l.slots.reset(new std::atomic<std::uint32_t>[cells * cells * cells]());
        l.lists.reset(new std::uint8_t[n * l.space]);
    }
    for (std::size_t k = 0; k < n; ++k) {
        Shard& shard = shards_[k];
        shard.tablesStart = singles + k * tableSpace;
        shard.tablesLimit = shard.tablesStart + tableSpace;
        for (int level = 0; level < kListLevels; ++level) {
            shard.listsStart[level] = k * levels_[level].space;
        }
    }
    Reset(palette);
}

void NearestColour::Reset(const std::uint8_t* palette) {
    for (int e = 0; e < 256; ++e) {
        colours_[3 * e] = palette[4 * e];
        colours_[3 * e + 1] = palette[4 * e + 1];
        colours_[3 * e + 2] = palette[4 * e + 2];
        norms_[e] = colours_[3 * e] * colours_[3 * e] + colours_[3 * e + 1] * colours_[3 * e + 1] +
                    colours_[3 * e + 2] * colours_[3 * e + 2];
        std::fill_n(&answers_[64 * (e + 1)], 64, static_cast<std::uint8_t>(e));
    }
    for (std::size_t c = 0; c < kFineCells; ++c) {
        fine_[c].store(kNotBuilt, std::memory_order_relaxed);
    }
    for (const ListLevel& level : levels_) {
        const std::size_t cells = static_cast<std::size_t>(level.cellsPerSide);
        for (std::size_t c = 0; c < cells * cells * cells; ++c) {
            level.slots[c].store(0, std::memory_order_relaxed);
        }
    }
    for (int k = 0; k < shardCount_; ++k) {
        shards_[k].tablesEnd = shards_[k].tablesStart;
        for (int level = 0; level < kListLevels; ++level) {
            shards_[k].listsEnd[level] = shards_[k].listsStart[level];
        }
    }
    std::uint8_t all[256];
    for (int e = first_; e < end_; ++e) {
        all[e - first_] = static_cast<std::uint8_t>(e);
    }
    for (int cell = 0; cell < 64; ++cell) {
        const int low[3] = {(cell >> 4) * 64, ((cell >> 2) & 3) * 64, (cell & 3) * 64};
        const int count = Contenders(low, 64, all, end_ - first_, &top_[cell][1]);
        top_[cell][0] = static_cast<std::uint8_t>(count - 1);
    }
}

// Writes to `out` the entries among from[0, count) that can be the nearest to some colour of
// the cell of `width` levels from `low`, provided that every such entry is among them, and
// returns how many there are. The entry nearest the middle of the cell comes first: any other
// entry is the nearest somewhere only where it beats that one, and the colours where one
// entry beats another lie on one side of a plane, so the test is whether the corner of the
// cell farthest on that side is such a colour.
int NearestColour::Contenders(const int low[3], int width, const std::uint8_t* from, int count,
                              std::uint8_t* out) const {
    // Twice the middle of the cell, so that it is a whole number.
    const int m0 = 2 * low[0] + width - 1, m1 = 2 * low[1] + width - 1, m2 = 2 * low[2] + width - 1;
    int firstRank = 0x7FFFFFFF; // doubled distance to the middle << 8 | entry
    for (int i = 0; i < count; ++i) {
        const int e = from[i];
        const int* c = &colours_[3 * e];
        const int d0 = m0 - 2 * c[0], d1 = m1 - 2 * c[1], d2 = m2 - 2 * c[2];
        firstRank = std::min(firstRank, (d0 * d0 + d1 * d1 + d2 * d2) << 8 | e);
    }
    const int first = firstRank & 0xFF;
    const int* a = &colours_[3 * first];
    const int high[3] = {low[0] + width - 1, low[1] + width - 1, low[2] + width - 1};
    int n = 0;
    out[n++] = static_cast<std::uint8_t>(first);
    for (int i = 0; i < count; ++i) {
        const int e = from[i];
        // How much nearer than `first` entry e is at the corner where it does best.
        const int* b = &colours_[3 * e];
        const int t0 = b[0] - a[0], t1 = b[1] - a[1], t2 = b[2] - a[2];
        const int gain = norms_[first] - norms_[e] +
                         2 * (t0 * (t0 > 0 ? high[0] : low[0]) + t1 * (t1 > 0 ? high[1] : low[1]) +
                              t2 * (t2 > 0 ? high[2] : low[2]));
        // Written only when kept: `out` has room for `count` entries and no more.
        if (e != first && (gain > 0 || (gain == 0 && e < first))) {
            out[n++] = static_cast<std::uint8_t>(e);
        }
    }
    return n;
}

const std::uint8_t* NearestColour::List(int level, int r, int g, int b, Shard& shard) {
    ListLevel& l = levels_[level];
    const int side = l.cellsPerSide;
    std::atomic<std::uint32_t>& slot = l.slots[static_cast<std::size_t>((r * side + g) * side + b)];
    if (const std::uint32_t offset = slot.load(std::memory_order_acquire); offset != 0) {
        return &l.lists[offset - 1];
    }
    // The enclosing cell's list: of the level above, or of the top grid.
    const std::uint8_t* from = level == 0 ? top_[(r >> 1) << 4 | (g >> 1) << 2 | b >> 1]
                                          : List(level - 1, r >> 1, g >> 1, b >> 1, shard);
    const int width = 256 / side;
    const int low[3] = {r * width, g * width, b * width};
    std::size_t& end = shard.listsEnd[level];
    const bool room = end + 257 <= shard.listsStart[level] + l.space;
    std::uint8_t* list = room ? &l.lists[end] : shard.scratchLists[level];
    const int n = Contenders(low, width, from + 1, from[0] + 1, list + 1);
    list[0] = static_cast<std::uint8_t>(n - 1);
    if (room) {
        slot.store(static_cast<std::uint32_t>(end) + 1, std::memory_order_release);
        end += static_cast<std::size_t>(n) + 1;
    }
    return list;
}

// The nearest of the n entries of `list` for each of the 64 colours of the fine cell at `low`,
// in blue-fastest order.
void NearestColour::FillTable(const int low[3], const std::uint8_t* list, int n,
                              std::uint8_t* table) const {
    // Squared distance << 8 | entry, so that the smaller one is the better answer; each
    // channel's share is worked out once per entry.
    int best[64];
    std::fill_n(best, 64, 0x7FFFFFFF);
    for (int i = 0; i < n; ++i) {
        const int e = list[i];
        int square[3][4];
        for (int k = 0; k < 3; ++k) {
            for (int j = 0; j < 4; ++j) {
                const int d = low[k] + j - colours_[3 * e + k];
                square[k][j] = d * d << 8;
            }
        }
        for (int j = 0; j < 4; ++j) {
            square[2][j] |= e;
        }
        for (int r = 0; r < 4; ++r) {
            for (int g = 0; g < 4; ++g) {
                const int base = square[0][r] + square[1][g];
                int* row = best + 16 * r + 4 * g;
                for (int b = 0; b < 4; ++b) {
                    const int rank = base + square[2][b];
                    row[b] = rank < row[b] ? rank : row[b];
                }
            }
        }
    }
    for (int c = 0; c < 64; ++c) {
        table[c] = static_cast<std::uint8_t>(best[c] & 0xFF);
    }
}

const std::uint8_t* NearestColour::WorkOut(int cell, int shardNumber) {
    Shard& shard = shards_[shardNumber];
    const int r = cell >> 12, g = (cell >> 6) & 63, b = cell & 63;
    const std::uint8_t* from = List(kListLevels - 1, r >> 1, g >> 1, b >> 1, shard);
    const int low[3] = {r * 4, g * 4, b * 4};
    std::uint8_t list[256];
    const int n = Contenders(low, 4, from + 1, from[0] + 1, list);
    std::atomic<std::uint32_t>& slot = fine_[static_cast<std::size_t>(cell)];
    const bool room = shard.tablesEnd + 64 <= shard.tablesLimit;
    std::uint8_t* table = room ? &answers_[shard.tablesEnd] : shard.scratch;
    if (n > 1) {
        FillTable(low, list, n, table);
    }
    // One entry may be the nearest to all 64 colours even when others are contenders.
    if (n == 1 || std::all_of(table, table + 64, [&](std::uint8_t k) { return k == table[0]; })) {
        const std::uint32_t single =
            64 * (static_cast<std::uint32_t>(n == 1 ? list[0] : table[0]) + 1);
        slot.store(single, std::memory_order_release);
        return &answers_[single];
    }
    if (room) {
        slot.store(static_cast<std::uint32_t>(shard.tablesEnd), std::memory_order_release);
        shard.tablesEnd += 64;
    }
    return table;
}

} // namespace quantize
