#include "core/palette/palette_file.h"

#include <cstring>

namespace palette {

bool IsZName(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 3 && name[length - 3] == 'z';
}

void DecodePaletteFile(const std::uint8_t* bytes, std::size_t size, bool zFormat,
                       std::uint8_t* table) {
    // The long format is read in two steps into one buffer: the header first, then the
    // records over it. A file too short for the second read leaves header bytes behind.
    std::uint8_t buffer[kZRecordBytes] = {};
    std::size_t recordBytes = 3;
    std::size_t firstColour = 0;
    // An empty file may come without any bytes at all (a null pointer), which memcpy must
    // never be given, not even for nothing.
    const auto copy = [&buffer](const std::uint8_t* from, std::size_t count) {
        if (count > 0) {
            std::memcpy(buffer, from, count);
        }
    };
    if (zFormat) {
        const std::size_t header = size < kZHeaderBytes ? size : kZHeaderBytes;
        copy(bytes, header);
        const std::size_t rest = size - header;
        copy(bytes + header, rest < kZRecordBytes ? rest : kZRecordBytes);
        recordBytes = 6;
        firstColour = 2;
    } else {
        copy(bytes, size < kPlainFileBytes ? size : kPlainFileBytes);
    }
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint8_t* colour = buffer + recordBytes * i + firstColour;
        table[4 * i + 2] = colour[0];
        table[4 * i + 1] = colour[1];
        table[4 * i] = colour[2];
    }
}

void EncodePaletteFile(const std::uint8_t* table, std::uint8_t* out) {
    for (std::size_t i = 0; i < 256; ++i) {
        out[3 * i] = table[4 * i + 2];
        out[3 * i + 1] = table[4 * i + 1];
        out[3 * i + 2] = table[4 * i];
    }
}

} // namespace palette
