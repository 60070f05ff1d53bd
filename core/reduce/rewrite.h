// What both conversions share: resizing the document's block while it is being rewritten,
// and the header fields of the 8-bit result. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/reduce/outcome.h"

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

// Where the pixels of a plain 24-bit image lie.
struct TrueColourGeometry {
    std::uint64_t width;  // pixels per row
    std::uint64_t rows;   // magnitude of the height: top-down images keep their row order
    std::uint64_t stride; // bytes per 24-bit row
    std::uint64_t padded; // bytes per 8-bit row
};

// Accepts only the plain 24-bit layout the conversions rewrite: 40-byte header, no colour
// table, pixels at 54, uncompressed, every row present, and an 8-bit result that fits a BMP.
// Returns the refusal, or nothing when the image can be rewritten: AlreadyIndexed when the
// bit count (given back in bitCount, read from 30 bytes on) is not 24, UnsupportedLayout or
// Truncated.
std::optional<Outcome> CheckTrueColourSource(const std::uint8_t* data, std::uint64_t size,
                                             TrueColourGeometry& geometry, std::uint16_t& bitCount);

// Sets the header fields of an 8-bit result whose pixel data (rows of the padded width)
// is `pixelBytes` long: bit count 8, image size, file size, and the pixel offset moved up
// by the 1024-byte colour table.
void MarkAs8Bit(std::uint8_t* data, std::uint32_t pixelBytes);

} // namespace reduce
