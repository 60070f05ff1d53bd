// The first 256 colours of an image, in the order they occur. Portable: no platform headers.
#pragma once

#include <cstdint>

namespace quantize {

// A pixel (blue, green, red bytes) as 0x00RRGGBB.
inline std::uint32_t PixelKey(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

// Up to 256 colours in order of first occurrence, found through a small open-addressing hash
// table that stays in the first-level cache.
class ColourList {
  public:
    // The colour's slot, adding it when new; -1 when it is new and the list is full.
    int FindOrAdd(std::uint32_t key) {
        std::uint32_t i = Hash(key);
        while (keys_[i] != 0) {
            if (keys_[i] == key + 1) {
                return slots_[i];
            }
            i = (i + 1) & (kSize - 1);
        }
        if (count_ == 256) {
            return -1;
        }
        keys_[i] = key + 1;
        slots_[i] = static_cast<std::uint8_t>(count_);
        colours_[count_] = key;
        return count_++;
    }
    // The slot of a colour known to be in the list.
    std::uint8_t Find(std::uint32_t key) const {
        std::uint32_t i = Hash(key);
        while (keys_[i] != key + 1) {
            i = (i + 1) & (kSize - 1);
        }
        return slots_[i];
    }
    std::uint32_t colour(int slot) const { return slot < count_ ? colours_[slot] : 0; }
    int count() const { return count_; }

  private:
    static constexpr std::uint32_t kSize = 1024;
    static std::uint32_t Hash(std::uint32_t key) { return (key * 0x9E3779B1u) >> 22; }

    std::uint32_t keys_[kSize] = {}; // colour + 1; 0 marks an empty place
    std::uint8_t slots_[kSize] = {};
    std::uint32_t colours_[256] = {};
    int count_ = 0;
};

} // namespace quantize
