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

} // namespace

const std::uint8_t* RowTexture::Likeness(const std::uint8_t* row, std::uint64_t width) {
    const std::size_t n = 3 * static_cast<std::size_t>(width); // a row is in memory
    const std::size_t padded = (n + kBytes - 1) / kBytes * kBytes + kBytes;
    busy_.resize(padded);
    weights_.resize(padded);
    // How far each channel value differs from the left and from the right neighbour's,
    // each capped at kBusy (a sum of kBusy or more counts the same); the first and the
    // last pixel have no neighbour on one side.
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
    // A pixel's weight, at its first channel: one more for each level below kBusy by
    // which its busiest channel differs.
    static_assert(kSmoothWeight == kBusy, "one more for each level below kBusy");
    const Bytes most = Bytes{} + static_cast<std::uint8_t>(kBusy + 1);
    for (i = 0; i < n; i += kBytes) {
        const std::uint8_t* b = busy_.data() + i;
        const Bytes busy = Max(Load(b), Max(Load(b + 1), Load(b + 2)));
        Store(weights_.data() + i, most - Min(busy, cap));
    }
    return weights_.data();
}

} // namespace quantize
