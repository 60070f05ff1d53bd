// How many bytes GIF's LZW makes of a piece's indices, counted without writing them: what
// choosing between two ways of storing a frame needs. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace image {

// Counts the bytes of GIF image data (the minimum code size byte, the codes in sub-blocks of
// at most 255 bytes and the terminator) that a GIF encoder's LZW makes of `count` indices of a
// table of 2^bits entries: a clear code first, codes growing to 12 bits, a clear code when
// the table is full, an end code last.
class LzwSize {
  public:
    LzwSize();
    std::uint64_t Count(const std::uint8_t* indices, std::uint64_t count, int bits);

  private:
    // (prefix code, index) -> code in an open hash table twice the codes' number, small enough
    // to stay in the cache; each entry is stamped with the table's generation so that a clear
    // costs nothing: an entry of another generation is empty.
    std::vector<std::uint64_t> table_;
    std::uint32_t generation_ = 0;
};

} // namespace image
