#include "core/reduce/nearest_colour.h"

#include <algorithm>

namespace reduce {
namespace {

constexpr std::size_t kFineCells = 64 * 64 * 64;
constexpr std::size_t kCoarseCells = 16 * 16 * 16;
// The longest a shard's coarse lists can get: every cell with all 256 entries.
constexpr std::size_t kListSpace = kCoarseCells * 257;

} // namespace

NearestColour::NearestColour(const std::uint8_t* palette, int shards, std::size_t tableSpace)
    : shardCount_(std::clamp(shards, 1, kMaxShards)),
      fine_(new std::atomic<std::uint32_t>[kFineCells]()),
      coarse_(new std::atomic<std::uint32_t>[kCoarseCells]()) {
    tableSpace -= tableSpace % 64;
    // The space is set aside here and never grows; pages that are never written cost nothing.
    const std::size_t singles = 64 * 257;
    const std::size_t n = static_cast<std::size_t>(shardCount_);
    answers_.reset(new std::uint8_t[singles + n * tableSpace]);
    coarseLists_.reset(new std::uint8_t[n * kListSpace]);
    for (std::size_t k = 0; k < n; ++k) {
        Shard& shard = shards_[k];
        shard.tablesStart = singles + k * tableSpace;
        shard.tablesLimit = shard.tablesStart + tableSpace;
        shard.listsStart = k * kListSpace;
    }
    Reset(palette);
}

void NearestColour::Reset(const std::uint8_t* palette) {
    for (int e = 0; e < 256; ++e) {
        colours_[3 * e] = palette[4 * e];
        colours_[3 * e + 1] = palette[4 * e + 1];
        colours_[3 * e + 2] = palette[4 * e + 2];
        std::fill_n(&answers_[64 * (e + 1)], 64, static_cast<std::uint8_t>(e));
    }
    for (std::size_t c = 0; c < kFineCells; ++c) {
        fine_[c].store(kNotBuilt, std::memory_order_relaxed);
    }
    for (std::size_t c = 0; c < kCoarseCells; ++c) {
        coarse_[c].store(0, std::memory_order_relaxed);
    }
    for (int k = 0; k < shardCount_; ++k) {
        shards_[k].tablesEnd = shards_[k].tablesStart;
        shards_[k].listsEnd = shards_[k].listsStart;
    }
    std::uint8_t all[256];
    for (int e = 0; e < 256; ++e) {
        all[e] = static_cast<std::uint8_t>(e);
    }
    for (int cell = 0; cell < 64; ++cell) {
        const int low[3] = {(cell >> 4) * 64, ((cell >> 2) & 3) * 64, (cell & 3) * 64};
        const int count = Contenders(low, 64, all, 256, &top_[cell][1]);
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
    int firstRank = 0x7FFFFFFF; // doubled distance to the middle << 8 | entry
    for (int i = 0; i < count; ++i) {
        const int e = from[i];
        int d = 0;
        for (int k = 0; k < 3; ++k) {
            const int v = 2 * low[k] + width - 1 - 2 * colours_[3 * e + k];
            d += v * v;
        }
        firstRank = std::min(firstRank, d << 8 | e);
    }
    const int first = firstRank & 0xFF;
    const int* a = &colours_[3 * first];
    const int aNorm = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    int n = 0;
    out[n++] = static_cast<std::uint8_t>(first);
    for (int i = 0; i < count; ++i) {
        const int e = from[i];
        if (e == first) {
            continue;
        }
        // How much nearer than `first` entry e is at the corner where it does best.
        const int* b = &colours_[3 * e];
        int gain = aNorm - (b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        for (int k = 0; k < 3; ++k) {
            const int towards = b[k] - a[k];
            gain += 2 * towards * (towards > 0 ? low[k] + width - 1 : low[k]);
        }
        if (gain > 0 || (gain == 0 && e < first)) {
            out[n++] = static_cast<std::uint8_t>(e);
        }
    }
    return n;
}

const std::uint8_t* NearestColour::CoarseList(int cell, int& count, Shard& shard) {
    std::uint32_t slot = coarse_[static_cast<std::size_t>(cell)].load(std::memory_order_acquire);
    if (slot == 0) {
        const int low[3] = {(cell >> 8) * 16, ((cell >> 4) & 15) * 16, (cell & 15) * 16};
        const std::uint8_t* top =
            top_[(cell >> 10) << 4 | ((cell >> 6) & 3) << 2 | (cell >> 2 & 3)];
        // A cell's list is worked out once per shard at most, so the shard's space holds it.
        std::uint8_t* list = &coarseLists_[shard.listsEnd];
        const int n = Contenders(low, 16, top + 1, top[0] + 1, list + 1);
        list[0] = static_cast<std::uint8_t>(n - 1);
        slot = static_cast<std::uint32_t>(shard.listsEnd) + 1;
        shard.listsEnd += static_cast<std::size_t>(n) + 1;
        coarse_[static_cast<std::size_t>(cell)].store(slot, std::memory_order_release);
    }
    const std::uint8_t* list = &coarseLists_[slot - 1];
    count = list[0] + 1;
    return list + 1;
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
        square[2][0] |= e;
        square[2][1] |= e;
        square[2][2] |= e;
        square[2][3] |= e;
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
    int count = 0;
    const std::uint8_t* from = CoarseList((r >> 2) << 8 | (g >> 2) << 4 | b >> 2, count, shard);
    const int low[3] = {r * 4, g * 4, b * 4};
    std::uint8_t list[256];
    const int n = Contenders(low, 4, from, count, list);
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

} // namespace reduce
