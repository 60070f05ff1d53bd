// Deflating a large buffer on two processors at once, for the PNG files the tool writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

// Appends the zlib stream of `data` (compression `level`, 0 to 9) to `out`. From 256 KB up,
// the two halves are deflated at the same time on two threads and joined into one stream; the
// second half starts from the 32 KB before it, as a single pass would, so the stream is only a
// few bytes longer. False, with `out` as it was, when memory runs out.
bool DeflateInTwo(const std::uint8_t* data, std::size_t size, int level,
                  std::vector<std::uint8_t>& out);

} // namespace cli
