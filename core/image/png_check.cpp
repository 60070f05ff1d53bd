#include "core/image/png_check.h"

#include <array>
#include <cstring>

#include "core/image/rgba.h"

namespace image {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The CRC-32 of PNG chunks, eight bytes a step: table k gives a byte's share k bytes on.
constexpr auto kCrcTables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
        for (std::size_t k = 1; k < 8; ++k) {
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
        }
    }
    return tables;
}();

std::uint32_t Crc(const std::uint8_t* data, std::size_t size) {
    const auto& t = kCrcTables;
    std::uint32_t c = 0xFFFFFFFFu;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint32_t low = c ^ (static_cast<std::uint32_t>(data[i]) |
                                       static_cast<std::uint32_t>(data[i + 1]) << 8 |
                                       static_cast<std::uint32_t>(data[i + 2]) << 16 |
                                       static_cast<std::uint32_t>(data[i + 3]) << 24);
        c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
            t[4][low >> 24] ^ t[3][data[i + 4]] ^ t[2][data[i + 5]] ^ t[1][data[i + 6]] ^
            t[0][data[i + 7]];
    }
    for (; i < size; ++i) {
        c = t[0][(c ^ data[i]) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t ReadBig32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

} // namespace

bool IsPng(const std::uint8_t* data, std::size_t size) {
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

std::optional<PngProblem> CheckPngChunks(const std::uint8_t* data, std::size_t size) {
    if (!IsPng(data, size)) {
        return PngProblem::BadHeader;
    }
    std::size_t at = sizeof kSignature;
    bool first = true;
    int colourType = 0;
    std::int64_t paletteEntries = -1; // none before a PLTE chunk
    while (true) {
        if (size - at < 12) {
            return PngProblem::CutShort; // no IEND chunk before the end
        }
        const std::uint32_t length = ReadBig32(data + at);
        if (length > size - at - 12) {
            return PngProblem::CutShort;
        }
        const std::uint8_t* type = data + at + 4;
        if (Crc(type, 4 + std::size_t{length}) != ReadBig32(type + 4 + length)) {
            return PngProblem::BadChecksum;
        }
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) {
                return PngProblem::BadHeader;
            }
            if (!Plain24Size(ReadBig32(type + 4), ReadBig32(type + 8))) {
                return PngProblem::UnusableSize;
            }
            colourType = type[4 + 9];
            first = false;
        }
        if (std::memcmp(type, "PLTE", 4) == 0) {
            paletteEntries = length / 3;
        }
        // A tRNS chunk of the length its colour type takes: 2 bytes for grey, 6 for RGB, at most
        // one a palette entry for indexed; the colour types with alpha have none.
        if (std::memcmp(type, "tRNS", 4) == 0 &&
            !(colourType == 0   ? length == 2
              : colourType == 2 ? length == 6
              : colourType == 3 ? paletteEntries >= 0 && length <= paletteEntries
                                : false)) {
            return PngProblem::BadTransparency;
        }
        if (std::memcmp(type, "IEND", 4) == 0) {
            return std::nullopt;
        }
        at += 12 + std::size_t{length};
    }
}

const char* PngProblemText(PngProblem problem) {
    switch (problem) {
    case PngProblem::BadChecksum:
        return "a PNG chunk's checksum is wrong: the file is damaged";
    case PngProblem::CutShort:
        return "the PNG file is cut short";
    case PngProblem::BadHeader:
        return "the PNG file has no proper header";
    case PngProblem::UnusableSize:
        return "the PNG image has no pixels or too many";
    case PngProblem::BadTransparency:
        return "the PNG file's transparency (its tRNS chunk) does not fit its image: the file "
               "is damaged";
    }
    return "";
}

} // namespace image
