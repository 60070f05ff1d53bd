#include "core/quantize/device_colours.h"

#include <algorithm>
#include <cstdlib>

namespace quantize {
namespace {

constexpr std::uint32_t Rgb(int red, int green, int blue) {
    return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue);
}

int Channel(std::uint32_t colour, int c) {
    return static_cast<int>(colour >> (16 - 8 * c) & 0xFF);
}

// Squared distance, green counting twice.
int Distance(std::uint32_t colour, int red, int green, int blue) {
    const int dr = Channel(colour, 0) - red, dg = Channel(colour, 1) - green,
              db = Channel(colour, 2) - blue;
    return dr * dr + 2 * dg * dg + db * db;
}

} // namespace

DeviceColours::DeviceColours(const std::array<int, 3>& depth, const std::uint32_t* list, int count)
    : list_(count > 0 ? list : nullptr), count_(count > 0 ? count : 0) {
    for (int c = 0; c < 3; ++c) {
        depth_[static_cast<std::size_t>(c)] =
            std::clamp(depth[static_cast<std::size_t>(c)], kMinDepth, kMaxDepth);
    }
}

bool DeviceColours::Holds(std::uint32_t colour) const {
    if (list_ != nullptr) {
        return std::find(list_, list_ + count_, colour & 0xFFFFFF) != list_ + count_;
    }
    for (int c = 0; c < 3; ++c) {
        const int bits = depth_[static_cast<std::size_t>(c)];
        const int v = Channel(colour, c);
        if (GridValue(GridLevel(v, bits), bits) != v) {
            return false;
        }
    }
    return true;
}

std::uint64_t DeviceColours::Count() const {
    return list_ != nullptr ? static_cast<std::uint64_t>(count_)
                            : std::uint64_t{1} << (depth_[0] + depth_[1] + depth_[2]);
}

std::uint32_t DeviceColours::At(std::uint64_t k) const {
    if (list_ != nullptr) {
        return list_[k];
    }
    const int b = depth_[2], g = depth_[1];
    const int blue = static_cast<int>(k & ((1u << b) - 1));
    const int green = static_cast<int>(k >> b & ((1u << g) - 1));
    const int red = static_cast<int>(k >> (b + g));
    return Rgb(GridValue(red, depth_[0]), GridValue(green, g), GridValue(blue, b));
}

std::uint32_t DeviceColours::Nearest(int red, int green, int blue) const {
    if (list_ == nullptr) {
        // Each channel on its own: the distance is a sum over the channels.
        return Rgb(GridValue(GridLevel(red, depth_[0]), depth_[0]),
                   GridValue(GridLevel(green, depth_[1]), depth_[1]),
                   GridValue(GridLevel(blue, depth_[2]), depth_[2]));
    }
    std::uint32_t best = list_[0];
    int bestDistance = Distance(best, red, green, blue);
    for (int k = 1; k < count_ && bestDistance > 0; ++k) {
        const int d = Distance(list_[k], red, green, blue);
        if (d < bestDistance) {
            best = list_[k];
            bestDistance = d;
        }
    }
    return best;
}

bool DeviceColours::NearestFree(int red, int green, int blue,
                                const std::function<bool(std::uint32_t)>& taken,
                                std::uint32_t& colour) const {
    int bestDistance = -1;
    const auto consider = [&](std::uint32_t c) {
        const int d = Distance(c, red, green, blue);
        if ((bestDistance < 0 || d < bestDistance) && !taken(c)) {
            colour = c;
            bestDistance = d;
        }
    };
    if (list_ != nullptr) {
        for (int k = 0; k < count_; ++k) {
            consider(list_[k]);
        }
        return bestDistance >= 0;
    }
    // Cubes of levels around the nearest grid colour, wider until one holds a free colour.
    const int level[3] = {GridLevel(red, depth_[0]), GridLevel(green, depth_[1]),
                          GridLevel(blue, depth_[2])};
    const int widest = (1 << std::max({depth_[0], depth_[1], depth_[2]})) - 1;
    for (int radius = 1; radius <= widest; ++radius) {
        for (int dr = -radius; dr <= radius; ++dr) {
            for (int dg = -radius; dg <= radius; ++dg) {
                for (int db = -radius; db <= radius; ++db) {
                    const int r = level[0] + dr, g = level[1] + dg, b = level[2] + db;
                    if (r < 0 || g < 0 || b < 0 || r >= 1 << depth_[0] || g >= 1 << depth_[1] ||
                        b >= 1 << depth_[2]) {
                        continue;
                    }
                    consider(Rgb(GridValue(r, depth_[0]), GridValue(g, depth_[1]),
                                 GridValue(b, depth_[2])));
                }
            }
        }
        if (bestDistance >= 0) {
            return true; // near enough: the search is for a free colour, not the very nearest
        }
    }
    return false;
}

} // namespace quantize
