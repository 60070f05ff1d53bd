// The chunks of a PNG file, checked before any decoder reads it, so that both front ends
// refuse the same damaged files alike (some decoders let a wrong checksum pass). Portable:
// no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace image {

// Whether the bytes start with the PNG signature.
bool IsPng(const std::uint8_t* data, std::size_t size);

enum class PngProblem {
    BadChecksum,     // a chunk's CRC does not match its bytes
    CutShort,        // a chunk runs past the end of the file, or no IEND chunk ends it
    BadHeader,       // no IHDR chunk first, or one of the wrong length
    UnusableSize,    // no pixels, or more than an image may have (kMaxPixels)
    BadTransparency, // a tRNS chunk that does not fit the image: not 2 bytes for grey, 6 for
                     // colour, for a palette more entries than its PLTE or none before it, or
                     // any with an alpha channel
};

// The problem of a file that starts with the PNG signature, or nothing. Reads the chunks
// only: what lies inside the image data is for the decoder to find.
std::optional<PngProblem> CheckPngChunks(const std::uint8_t* data, std::size_t size);

// The English words for a problem, for the command-line tool.
const char* PngProblemText(PngProblem problem);

} // namespace image
