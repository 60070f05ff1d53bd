// The colours a device can show: a grid of a few bits a channel (5-5-5, 5-6-5, 4-4-4...),
// whose values the device expands by repeating the bits, or a list of colours. The chosen
// entries are always some of them. Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace quantize {

inline constexpr int kMinDepth = 1, kMaxDepth = 8;

// Level v of a channel of `bits` bits as the device shows it: v * 255 / (2^bits - 1) rounded,
// the value that repeating the bits gives.
constexpr int GridValue(int level, int bits) {
    const int top = (1 << bits) - 1;
    return (level * 255 + top / 2) / top;
}

// The level of a channel of `bits` bits nearest to the 8-bit value.
constexpr int GridLevel(int value, int bits) {
    const int top = (1 << bits) - 1;
    return (value * top + 127) / 255;
}

class DeviceColours {
  public:
    DeviceColours() = default; // every colour
    // A list (`count` colours, 0x00RRGGBB) when `list` is not null, else the grid of `depth`.
    DeviceColours(const std::array<int, 3>& depth, const std::uint32_t* list, int count);

    bool Every() const { return list_ == nullptr && depth_ == std::array<int, 3>{8, 8, 8}; }
    bool Holds(std::uint32_t colour) const;
    // How many colours it has, and colour k of them (the list's order, or red, then green,
    // then blue rising).
    std::uint64_t Count() const;
    std::uint32_t At(std::uint64_t k) const;
    // The colour nearest to red, green, blue (green counting twice, as in the palette's
    // choice; the first of the list on a tie).
    std::uint32_t Nearest(int red, int green, int blue) const;
    // The nearest colour for which `taken` is false; false when every colour is taken.
    bool NearestFree(int red, int green, int blue, const std::function<bool(std::uint32_t)>& taken,
                     std::uint32_t& colour) const;

  private:
    std::array<int, 3> depth_ = {8, 8, 8};
    const std::uint32_t* list_ = nullptr;
    int count_ = 0;
};

} // namespace quantize
