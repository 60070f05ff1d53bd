// The first 256 colours of an image, in the order they occur. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/quantize/colour_table.h"

namespace quantize {

// Up to 256 colours in order of first occurrence, found through a table small enough to stay
// in the first-level cache.
class ColourList {
  public:
    // The colour's slot, adding it when new; -1 when it is new and the list is full.
    int FindOrAdd(std::uint32_t key) {
        const std::uint32_t place = slots_.PlaceOf(key);
        if (slots_.Holds(place)) {
            return slots_.At(place);
        }
        if (count_ == 256) {
            return -1;
        }
        slots_.Put(place, key, static_cast<std::uint8_t>(count_));
        colours_[count_] = key;
        return count_++;
    }
    // The slot of a colour known to be in the list.
    std::uint8_t Find(std::uint32_t key) const { return slots_.At(slots_.PlaceOf(key)); }
    std::uint32_t colour(int slot) const { return slot < count_ ? colours_[slot] : 0; }
    int count() const { return count_; }

  private:
    ColourTable<std::uint8_t, 10> slots_;
    std::uint32_t colours_[256] = {};
    int count_ = 0;
};

} // namespace quantize
