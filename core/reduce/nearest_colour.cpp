#include "core/reduce/nearest_colour.h"

#include <algorithm>

namespace reduce {

NearestColour::NearestColour(const std::uint8_t* palette, std::size_t recordSpace)
    : fine_(64 * 64 * 64, kNotBuilt), fineLists_(1), coarse_(16 * 16 * 16, 0) {
    // Room for every coarse list, and for the records of many fine cells: the vectors never
    // grow after this.
    coarseLists_.reserve(16 * 16 * 16 * 257);
    fineLists_.reserve(recordSpace);
    for (int e = 0; e < 256; ++e) {
        colours_[3 * e] = palette[4 * e];
        colours_[3 * e + 1] = palette[4 * e + 1];
        colours_[3 * e + 2] = palette[4 * e + 2];
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

const std::uint8_t* NearestColour::CoarseList(int cell, int& count) {
    if (coarse_[static_cast<std::size_t>(cell)] == 0) {
        std::uint8_t all[256], list[256];
        for (int e = 0; e < 256; ++e) {
            all[e] = static_cast<std::uint8_t>(e);
        }
        const int low[3] = {(cell >> 8) * 16, ((cell >> 4) & 15) * 16, (cell & 15) * 16};
        const int n = Contenders(low, 16, all, 256, list);
        coarse_[static_cast<std::size_t>(cell)] =
            static_cast<std::uint32_t>(coarseLists_.size()) + 1;
        coarseLists_.push_back(static_cast<std::uint8_t>(n - 1));
        coarseLists_.insert(coarseLists_.end(), list, list + n);
    }
    const std::uint8_t* list = &coarseLists_[coarse_[static_cast<std::size_t>(cell)] - 1];
    count = list[0] + 1;
    return list + 1;
}

const std::uint8_t* NearestColour::WorkOut(int cell) {
    const int r = cell >> 12, g = (cell >> 6) & 63, b = cell & 63;
    int count = 0;
    const std::uint8_t* from = CoarseList((r >> 2) << 8 | (g >> 2) << 4 | b >> 2, count);
    std::uint8_t list[256];
    const int low[3] = {r * 4, g * 4, b * 4};
    const int n = Contenders(low, 4, from, count, list);
    if (n == 1) {
        fine_[static_cast<std::size_t>(cell)] = static_cast<std::uint32_t>(list[0]) << 1 | kSingle;
        record_[0] = 1;
        record_[1] = list[0];
        return record_;
    }
    std::size_t length = 1;
    if (n <= kLongestList) {
        record_[0] = static_cast<std::uint8_t>(n);
        std::copy(list, list + n, record_ + 1);
        length += static_cast<std::size_t>(n);
    } else {
        record_[0] = kAnswerTable;
        for (int c = 0; c < 64; ++c) {
            const int red = low[0] + (c >> 4), green = low[1] + ((c >> 2) & 3),
                      blue = low[2] + (c & 3);
            record_[1 + c] = static_cast<std::uint8_t>(NearestOf(list, n, red, green, blue));
        }
        length += 64;
    }
    if (fineLists_.size() + length <= fineLists_.capacity()) {
        fine_[static_cast<std::size_t>(cell)] = static_cast<std::uint32_t>(fineLists_.size()) << 1;
        fineLists_.insert(fineLists_.end(), record_, record_ + length);
    }
    return record_;
}

} // namespace reduce
