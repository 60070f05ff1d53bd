// How many colours an image shows, for the status bar. Portable: no platform headers.
#pragma once

#include <cstdint>

namespace image {

// The number of distinct colours the pixels of a BMP file image show (an indexed image: of the
// entries its pixels take, each colour once), or -1 when it is no image that can be read
// whole. A true-colour image is counted with a table of one bit a colour (2 MiB); an indexed
// one by its pixels' entries. Throws std::bad_alloc when memory runs out.
std::int64_t DistinctColours(const std::uint8_t* data, std::uint64_t size);

} // namespace image
