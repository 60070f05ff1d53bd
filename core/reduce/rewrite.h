// What both conversions share: resizing the document's block while it is being rewritten,
// and the header fields of the 8-bit result. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <functional>

namespace reduce {

// The block's bytes after a resize request, and whether the size changed. When it did not,
// the block and its content are as before (data still points at them).
struct ResizeResult {
    std::uint8_t* data;
    bool resized;
};

// Resizes the block holding the document to the given size, keeping its first
// min(old, new) bytes; bytes added by growing are undefined. The block may move.
using Resizer = std::function<ResizeResult(std::uint64_t newSize)>;

// Sets the header fields of an 8-bit result whose pixel data (rows of the padded width)
// is `pixelBytes` long: bit count 8, image size, file size, and the pixel offset moved up
// by the 1024-byte colour table.
void MarkAs8Bit(std::uint8_t* data, std::uint32_t pixelBytes);

} // namespace reduce
