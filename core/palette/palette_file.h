// Palette file formats. The plain one: 768 bytes, red, green, blue for entries 0 to 255.
// The long one, read only, chosen by a name whose third byte from the end is 'z': a 36-byte
// header and 256 records of six bytes, red, green and blue at record bytes 2, 3 and 4.
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace palette {

inline constexpr std::size_t kTableBytes = 1024; // 256 entries: blue, green, red, reserved
inline constexpr std::size_t kPlainFileBytes = 768;
inline constexpr std::size_t kZHeaderBytes = 36;
inline constexpr std::size_t kZRecordBytes = 1536;

// True when the name's third byte from the end is a lowercase 'z'; never for names
// shorter than three bytes.
bool IsZName(const char* name);

// Sets all 256 entries of `table` from the first `size` bytes of a palette file, in the
// format the name chose; reserved bytes are left as they are, bytes after the format's end
// are ignored. The long format is read as two reads into one buffer, the records over the
// header: when fewer than 36 bytes of records follow the header, the buffer bytes they do
// not reach still hold header bytes, and the first entries take colours from those. Every
// other entry the file does not reach is black.
void DecodePaletteFile(const std::uint8_t* bytes, std::size_t size, bool zFormat,
                       std::uint8_t* table);

// Writes the table in the plain format.
void EncodePaletteFile(const std::uint8_t* table, std::uint8_t* out);

} // namespace palette
