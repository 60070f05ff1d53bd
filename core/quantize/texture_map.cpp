#include "core/quantize/texture_map.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quantize {
namespace {

// Sixteen bytes at once.
using Bytes = std::uint8_t __attribute__((vector_size(16)));
constexpr std::size_t kBytes = sizeof(Bytes);
Bytes Load(const std::uint8_t* from) {
    Bytes v;
    std::memcpy(&v, from, sizeof v);
    return v;
}
void Store(std::uint8_t* to, Bytes v) {
    std::memcpy(to, &v, sizeof v);
}
Bytes Min(Bytes a, Bytes b) {
    return a < b ? a : b;
}
Bytes Max(Bytes a, Bytes b) {
    return a > b ? a : b;
}
Bytes Differ(Bytes a, Bytes b) {
    return Max(a, b) - Min(a, b);
}

// Room for a row's channel values, read and written sixteen at a time.
std::size_t Room(std::uint64_t width) {
    const std::size_t n = 3 * static_cast<std::size_t>(width); // a row is in memory
    return (n + kBytes - 1) / kBytes * kBytes + kBytes;
}

} // namespace

void RowTexture::Reserve(std::uint64_t width) {
    busy_.resize(Room(width));
    weights_.resize(Room(width));
    near_.resize(Room(width));
}

const std::uint8_t* RowTexture::Busy(const std::uint8_t* row, std::uint64_t width) {
    const std::size_t n = 3 * static_cast<std::size_t>(width);
    if (busy_.size() < Room(width)) {
        busy_.resize(Room(width));
        weights_.resize(Room(width));
    }
    // The first and the last pixel have no neighbour on one side.
    const Bytes cap = Bytes{} + static_cast<std::uint8_t>(kBusy);
    std::size_t i = 0;
    const auto one = [&](std::size_t at) {
        const int v = row[at];
        const int l = at >= 3 ? row[at - 3] : v;
        const int r = at + 3 < n ? row[at + 3] : v;
        busy_[at] = static_cast<std::uint8_t>(std::min(std::abs(v - l), kBusy) +
                                              std::min(std::abs(v - r), kBusy));
    };
    for (; i < std::min<std::size_t>(3, n); ++i) {
        one(i);
    }
    for (; i + 3 + kBytes <= n; i += kBytes) {
        const Bytes v = Load(row + i);
        Store(busy_.data() + i,
              Min(Differ(v, Load(row + i - 3)), cap) + Min(Differ(v, Load(row + i + 3)), cap));
    }
    for (; i < n; ++i) {
        one(i);
    }
    return busy_.data();
}

const std::uint8_t* RowTexture::Likeness(const std::uint8_t* row, std::uint64_t width) {
    const std::size_t n = 3 * static_cast<std::size_t>(width);
    Busy(row, width);
    // A pixel's weight, at its first channel: one more for each level below kBusy by
    // which its busiest channel differs.
    static_assert(kSmoothWeight == kBusy, "one more for each level below kBusy");
    const Bytes most = Bytes{} + static_cast<std::uint8_t>(kBusy + 1);
    const Bytes cap = Bytes{} + static_cast<std::uint8_t>(kBusy);
    for (std::size_t i = 0; i < n; i += kBytes) {
        const std::uint8_t* b = busy_.data() + i;
        const Bytes busy = Max(Load(b), Max(Load(b + 1), Load(b + 2)));
        Store(weights_.data() + i, most - Min(busy, cap));
    }
    return weights_.data();
}

void RowTexture::Mark(const std::uint8_t* row, std::uint64_t width, bool flat, bool smooth,
                      std::uint8_t* marks) {
    if (near_.size() < Room(width)) {
        Reserve(width);
    }
    if (flat) {
        // Of kFlat likeness: no channel differs from the neighbours.
        const std::uint8_t* busy = Busy(row, width);
        for (std::uint64_t x = 0; x < width; ++x) {
            marks[x] = (busy[3 * x] | busy[3 * x + 1] | busy[3 * x + 2]) == 0 ? kFlatMark : 0;
        }
    } else {
        std::fill(marks, marks + width, std::uint8_t{0});
    }
    if (!smooth || width <= 2 * kSmoothReach) {
        return;
    }
    // Worked out value by value (the wrap-around of bytes makes the test a single comparison),
    // sixteen values at a time and then the rest one by one; then pixel by pixel.
    const std::uint64_t reach = 3 * kSmoothReach, values = 3 * width;
    std::uint8_t* near = near_.data();
    const auto close = [](auto a, auto b, auto levels) {
        return static_cast<decltype(a)>(a - b + levels) <= levels + levels;
    };
    const Bytes levels = Bytes{} + std::uint8_t{kSmoothLevels}, one = Bytes{} + 1;
    std::uint64_t i = reach;
    for (; i + kBytes + reach <= values; i += kBytes) {
        const Bytes value = Load(row + i);
        Bytes all = one;
        for (std::uint64_t d = 3; d <= reach; d += 3) {
            all &= reinterpret_cast<Bytes>(close(value, Load(row + i - d), levels)) &
                   reinterpret_cast<Bytes>(close(value, Load(row + i + d), levels));
        }
        Store(near + i, all);
    }
    for (; i + reach < values; ++i) {
        bool all = true;
        for (std::uint64_t d = 3; d <= reach; d += 3) {
            all = all && close(row[i], row[i - d], std::uint8_t{kSmoothLevels}) &&
                  close(row[i], row[i + d], std::uint8_t{kSmoothLevels});
        }
        near[i] = all;
    }
    for (std::uint64_t x = kSmoothReach; x + kSmoothReach < width; ++x) {
        marks[x] |= static_cast<std::uint8_t>((near[3 * x] & near[3 * x + 1] & near[3 * x + 2]) *
                                              kSmoothMark);
    }
}

} // namespace quantize
