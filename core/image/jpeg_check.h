// The markers of a JPEG file, walked before any decoder reads it: a file cut short or one of
// more scans than any encoder writes is refused before the decoder makes room for its image
// (a progressive image's coefficients alone take 6 bytes a pixel, and each scan a pass over
// all of them). Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace image {

// The most scans a JPEG file may have. Encoders write 1 (baseline) to about 10 (progressive,
// as libjpeg and mozjpeg make them); the format allows some 2,600 for a colour image.
inline constexpr int kMaxJpegScans = 300;

enum class JpegProblem {
    CutShort,     // the file ends before its end-of-image marker
    TooManyScans, // more than kMaxJpegScans
};

// The problem of a file that starts with a JPEG start-of-image marker, or nothing. Reads the
// markers and skips the entropy-coded data: what lies inside is for the decoder to find.
std::optional<JpegProblem> CheckJpegMarkers(const std::uint8_t* data, std::size_t size);

// The English words for a problem, for the command-line tool.
const char* JpegProblemText(JpegProblem problem);

} // namespace image
