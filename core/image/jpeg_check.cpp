#include "core/image/jpeg_check.h"

#include <cstring>

namespace image {
namespace {

constexpr std::uint8_t kStuffed = 0x00; // 0xFF 0x00: a 0xFF byte of entropy-coded data
constexpr std::uint8_t kTem = 0x01;
constexpr std::uint8_t kFirstRestart = 0xD0, kLastRestart = 0xD7;
constexpr std::uint8_t kStartOfImage = 0xD8, kEndOfImage = 0xD9, kStartOfScan = 0xDA;

// Markers that stand alone, without a length and a segment after them.
bool StandsAlone(std::uint8_t marker) {
    return marker == kTem || marker == kStartOfImage ||
           (marker >= kFirstRestart && marker <= kLastRestart);
}

// Where the entropy-coded data from `at` ends: at the next 0xFF that is neither stuffing nor
// a restart marker; `size` when the file ends first.
std::size_t EndOfEntropyData(const std::uint8_t* data, std::size_t size, std::size_t at) {
    while (at < size) {
        const void* found = std::memchr(data + at, 0xFF, size - at);
        if (found == nullptr) {
            return size;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        if (at + 1 >= size) {
            return size;
        }
        const std::uint8_t next = data[at + 1];
        if (next != kStuffed && (next < kFirstRestart || next > kLastRestart)) {
            return at;
        }
        at += 2;
    }
    return size;
}

} // namespace

std::optional<JpegProblem> CheckJpegMarkers(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 2; // after the start of image
    int scans = 0;
    while (true) {
        // A marker: 0xFF, any number of fill bytes 0xFF, its code. Other bytes between
        // segments are skipped, as decoders do (saying that the data is corrupt).
        while (at < size && data[at] != 0xFF) {
            ++at;
        }
        while (at < size && data[at] == 0xFF) {
            ++at;
        }
        if (at >= size) {
            return JpegProblem::CutShort;
        }
        const std::uint8_t marker = data[at++];
        if (marker == kEndOfImage) {
            return std::nullopt;
        }
        if (marker == kStuffed || StandsAlone(marker)) {
            continue;
        }
        if (size - at < 2) {
            return JpegProblem::CutShort;
        }
        const std::size_t length = std::size_t{data[at]} << 8 | data[at + 1];
        if (length > size - at) {
            return JpegProblem::CutShort;
        }
        at += length;
        if (marker == kStartOfScan) {
            if (++scans > kMaxJpegScans) {
                return JpegProblem::TooManyScans;
            }
            at = EndOfEntropyData(data, size, at);
        }
    }
}

static_assert(kMaxJpegScans == 300, "the text below says 300");

const char* JpegProblemText(JpegProblem problem) {
    switch (problem) {
    case JpegProblem::CutShort:
        return "the JPEG file is cut short";
    case JpegProblem::TooManyScans:
        return "the JPEG file has more than 300 scans (no encoder writes so many)";
    }
    return "";
}

} // namespace image
