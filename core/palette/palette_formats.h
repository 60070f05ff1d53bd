// The palette files other tools write, read by their content, and written in any of five
// formats: the plain 768 bytes; an Adobe colour table (.act, 772 bytes: the plain bytes, then
// the number of colours and the transparent index, 16-bit big-endian); a GIMP palette
// (.gpl, text); a JASC palette (Paint Shop Pro, Aseprite; .pal, text); and a Microsoft RIFF
// palette (.pal, "RIFF" .... "PAL " with a "data" chunk holding a LOGPALETTE). Portable: no
// platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace palette {

enum class PaletteFormat { Raw, Act, Gpl, Jasc, Riff };

// What a file says of itself besides its colours; -1 where it says nothing.
struct PaletteFileFacts {
    int colours = -1;     // how many colours the file holds
    int transparent = -1; // an Adobe colour table's transparent index
};

// The largest palette file that is read; a larger one is refused, never cut. A text palette
// of 256 colours with long names and comments stays well below it.
inline constexpr std::size_t kMaxPaletteFileBytes = 1 << 20;

// Fills all 256 entries of `table` (blue, green, red, reserved; reserved bytes untouched) from
// a palette file. RIFF, JASC and GIMP files are known by their first bytes (the text ones
// also behind a UTF-8 byte-order mark; their lines may end in LF, CR LF or CR), an Adobe
// colour table by its 772 bytes (unless `zName`); their entries after the file's colours are
// black. Any other file is read as DecodePaletteFile reads it (the plain format, or the long
// one for a z name). False, with `table` untouched, for a file of more than
// kMaxPaletteFileBytes, and when a file of a known format is malformed: a bad number, a value
// over 255, more than 256 colours, fewer colour lines than a JASC file announces, a RIFF
// chunk cut short or no "data" chunk.
bool ReadPalette(const std::uint8_t* bytes, std::size_t size, bool zName, std::uint8_t* table,
                 PaletteFileFacts& facts);

// The format a palette's name asks for when it is written: ".gpl" a GIMP palette, ".act" an
// Adobe colour table (either case), anything else the plain 768 bytes.
PaletteFormat FormatOfName(const std::string& name);

// "raw", "act", "gpl", "jasc" or "riff"; false for any other word.
bool FormatOfWord(const std::string& word, PaletteFormat& format);

// False when the name's extension belongs to other formats than `format`: ".gpl" is GIMP's,
// ".act" Adobe's, ".pal" the raw, JASC and RIFF palettes'; any other name fits every format.
bool FormatFitsName(const std::string& name, PaletteFormat format);

// The file of the table's first `colours` entries (1 to 256) in `format`, saying how many
// there are: a GIMP file has that many colour lines, a JASC file that count, a RIFF file that
// many entries, an Adobe colour table that count after its 256 entries (the ones after the
// colours black). The raw format has no count and always holds all 256 entries. Reading the
// file back gives the same colours, and the count.
std::vector<std::uint8_t> EncodePalette(const std::uint8_t* table, PaletteFormat format,
                                        int colours);

// The most colours a list of colours to choose from may hold (ReadColourList).
inline constexpr int kMaxListColours = 4096;

// The colours of a palette file in its order (0x00RRGGBB), for a list to choose from: every
// format ReadPalette knows, and the text ones (GIMP, JASC, a hex list) with up to
// kMaxListColours colours. False, with `colours` empty, for a malformed file, an empty one,
// or one of more colours.
bool ReadColourList(const std::uint8_t* bytes, std::size_t size, bool zName,
                    std::vector<std::uint32_t>& colours);

} // namespace palette
