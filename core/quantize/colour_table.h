// The one hash table of the conversions: colours (0x00RRGGBB) and a value each, by open
// addressing in a table of fixed size. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <memory>

namespace quantize {

// A pixel (blue, green, red bytes) as 0x00RRGGBB.
inline std::uint32_t PixelKey(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

// 2^Bits places; the caller keeps it from filling up (no more colours than half the places
// keeps the searches short).
template <typename Value, int Bits> class ColourTable {
  public:
    static constexpr std::uint32_t kSize = 1u << Bits;

    // The place of a colour: its own, or the empty place where it would go.
    std::uint32_t PlaceOf(std::uint32_t colour) const {
        const std::uint32_t key = colour + 1;
        std::uint32_t i = (key * 0x9E3779B1u) >> (32 - Bits);
        while (keys_[i] != key && keys_[i] != 0) {
            i = (i + 1) & (kSize - 1);
        }
        return i;
    }
    bool Holds(std::uint32_t place) const { return keys_[place] != 0; }
    // Takes the colour into an empty place.
    void Put(std::uint32_t place, std::uint32_t colour, Value value) {
        keys_[place] = colour + 1;
        values_[place] = value;
    }
    Value& At(std::uint32_t place) { return values_[place]; }
    const Value& At(std::uint32_t place) const { return values_[place]; }
    // The value of a colour, or `missing`.
    Value Find(std::uint32_t colour, Value missing) const {
        const std::uint32_t place = PlaceOf(colour);
        return Holds(place) ? values_[place] : missing;
    }
    // Calls f(colour, value) for every colour held, in the order of their places.
    template <typename F> void ForEach(F f) const {
        for (std::uint32_t i = 0; i < kSize; ++i) {
            if (keys_[i] != 0) {
                f(keys_[i] - 1, values_[i]);
            }
        }
    }
    void Clear() {
        for (std::uint32_t& key : keys_) {
            key = 0;
        }
    }

  private:
    std::uint32_t keys_[kSize] = {}; // colour + 1; 0 marks an empty place
    Value values_[kSize] = {};
};

// A count for each of up to kMaxColours colours; full once one more would be needed.
class ColourCounts {
  public:
    static constexpr std::uint32_t kMaxColours = 1u << 12;

    bool full() const { return full_; }
    void Add(const std::uint8_t* p, std::uint64_t n) {
        const std::uint32_t colour = PixelKey(p);
        const std::uint32_t place = counts_->PlaceOf(colour);
        if (!counts_->Holds(place)) {
            if (used_ == kMaxColours) {
                full_ = true;
                return;
            }
            counts_->Put(place, colour, 0);
            ++used_;
        }
        counts_->At(place) += n;
    }
    // Calls f(colour 0x00RRGGBB, count) for every colour counted.
    template <typename F> void ForEach(F f) const { counts_->ForEach(f); }

  private:
    std::unique_ptr<ColourTable<std::uint64_t, 13>> counts_ =
        std::make_unique<ColourTable<std::uint64_t, 13>>();
    std::uint32_t used_ = 0;
    bool full_ = false;
};

} // namespace quantize
