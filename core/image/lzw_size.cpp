#include "core/image/lzw_size.h"

#include <algorithm>

namespace image {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kCodeBits = 12;
constexpr std::uint32_t kCodeMask = (1u << kCodeBits) - 1;
constexpr std::uint32_t kSlots = 2 * kMaxCodes; // a power of 2

// An entry: the generation (high 32 bits), the key (prefix and index, 20 bits) and the code.
std::uint64_t Entry(std::uint32_t generation, std::uint32_t key, std::uint32_t code) {
    return std::uint64_t{generation} << 32 | std::uint64_t{key} << kCodeBits | code;
}

std::uint32_t SlotOf(std::uint32_t key) {
    return (key * 2654435761u) >> (32 - 13); // 13 bits: kSlots
}

} // namespace

LzwSize::LzwSize() : table_(kSlots, 0) {}

std::uint64_t LzwSize::Count(const std::uint8_t* indices, std::uint64_t count, int bits) {
    const int minimum = std::max(bits, 2);
    const std::uint32_t clear = 1u << minimum;
    int size = 0;
    std::uint32_t next = 0;
    const auto reset = [&] {
        if (++generation_ == 0) { // stamps would repeat: start afresh
            std::fill(table_.begin(), table_.end(), 0);
            generation_ = 1;
        }
        size = minimum + 1;
        next = clear + 2;
    };
    // A code goes out in the width of the moment; the width grows once the next code to be
    // made no longer fits it.
    std::uint64_t codeBits = 0;
    const auto emit = [&] {
        codeBits += static_cast<std::uint64_t>(size);
        if (next >= (1u << size) && size < kCodeBits) {
            ++size;
        }
    };
    reset();
    emit(); // the clear code
    if (count > 0) {
        std::uint32_t prefix = indices[0];
        for (std::uint64_t i = 1; i < count; ++i) {
            const std::uint32_t key = prefix << 8 | indices[i];
            const std::uint64_t wanted = Entry(generation_, key, 0) >> kCodeBits;
            std::uint32_t slot = SlotOf(key);
            while ((table_[slot] >> 32) == generation_ && (table_[slot] >> kCodeBits) != wanted) {
                slot = (slot + 1) & (kSlots - 1);
            }
            if ((table_[slot] >> 32) == generation_) {
                prefix = static_cast<std::uint32_t>(table_[slot]) & kCodeMask;
                continue;
            }
            emit();
            if (next >= kMaxCodes - 1) { // the table is full: a clear code, and a new table
                emit();
                reset();
            } else {
                table_[slot] = Entry(generation_, key, next++);
            }
            prefix = indices[i];
        }
        emit(); // the last prefix
    }
    emit(); // the end code
    const std::uint64_t bytes = (codeBits + 7) / 8;
    return 1 + bytes + (bytes + 254) / 255 + 1; // code size, sub-blocks' lengths, terminator
}

} // namespace image
