// The palette files other tools write, read by their content, and written in any of these
// formats: the plain 768 bytes; an Adobe colour table (.act, 772 bytes: the plain bytes, then
// the number of colours and the transparent index, 16-bit big-endian); a GIMP palette
// (.gpl, text); a JASC palette (Paint Shop Pro, Aseprite; .pal, text); a Microsoft RIFF
// palette (.pal, "RIFF" .... "PAL " with a "data" chunk holding a LOGPALETTE); the BGR555
// palette of handheld and console tool chains (.pal, two bytes little-endian an entry,
// 0BBBBBGGGGGRRRRR); a hex list (.hex, one RRGGBB a line); and, written only, a C header
// (.h) holding an array of RGB565 or BGR555 words or of red, green, blue bytes. Portable: no
// platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace palette {

enum class PaletteFormat { Raw, Act, Gpl, Jasc, Riff, Bgr555, Hex, CRgb565, CBgr555, CRgb888 };

// What a file says of itself besides its colours; -1 where it says nothing.
struct PaletteFileFacts {
    int colours = -1;     // how many colours the file holds
    int transparent = -1; // an Adobe colour table's transparent index
};

// The largest palette file that is read; a larger one is refused, never cut. A text palette
// of 256 colours with long names and comments stays well below it.
inline constexpr std::size_t kMaxPaletteFileBytes = 1 << 20;

// Fills all 256 entries of `table` (blue, green, red, reserved; reserved bytes untouched) from
// a palette file. RIFF, JASC and GIMP files are known by their first bytes, a hex list by its
// first line that is not blank ("RRGGBB" or "#RRGGBB", either case; the text ones also behind
// a UTF-8 byte-order mark, their lines ending in LF, CR LF or CR); unless `zName`, an Adobe
// colour table by its 772 bytes, and a file of an even size up to 512 bytes holds BGR555
// entries (expanded to 8 bits by repeating their top bits). Entries after the file's colours
// are black. Any other file is read as DecodePaletteFile reads it (the plain format, or the
// long one for a z name). False, with `table` untouched, for a file of more than
// kMaxPaletteFileBytes, and when a file of a known format is malformed: a bad number, a value
// over 255, more than 256 colours, fewer colour lines than a JASC file announces, a line of a
// hex list that is not a colour, a RIFF chunk cut short or no "data" chunk.
bool ReadPalette(const std::uint8_t* bytes, std::size_t size, bool zName, std::uint8_t* table,
                 PaletteFileFacts& facts);

// The format a palette's name asks for when it is written: ".gpl" a GIMP palette, ".act" an
// Adobe colour table, ".hex" a hex list, ".h" a C header of RGB565 words (either case),
// anything else the plain 768 bytes.
PaletteFormat FormatOfName(const std::string& name);

// "raw", "act", "gpl", "jasc", "riff", "bgr555", "hex", "c" (a C header of RGB565 words),
// "c-bgr555" or "c-rgb888"; false for any other word.
bool FormatOfWord(const std::string& word, PaletteFormat& format);

// False when the name's extension belongs to other formats than `format`: ".gpl" is GIMP's,
// ".act" Adobe's, ".hex" the hex list's, ".h" the C headers', ".pal" the raw, JASC, RIFF and
// BGR555 palettes'; any other name fits every format.
bool FormatFitsName(const std::string& name, PaletteFormat format);

// The file of the table's first `colours` entries (1 to 256) in `format`, saying how many
// there are: a GIMP file has that many colour lines, a JASC file that count, a RIFF file that
// many entries, an Adobe colour table that count after its 256 entries (the ones after the
// colours black), a BGR555 file and a hex list that many entries, a C header an array of that
// many (its name made from `name`, the file's, as a C identifier). The raw format has no count
// and always holds all 256 entries. Reading the file back gives the same colours (BGR555: each
// channel rounded to 5 bits, v * 31 / 255, and read back by bit replication), and the count.
std::vector<std::uint8_t> EncodePalette(const std::uint8_t* table, PaletteFormat format,
                                        int colours, const std::string& name = {});

// The most colours a list of colours to choose from may hold (ReadColourList).
inline constexpr int kMaxListColours = 4096;

// The colours of a palette file in its order (0x00RRGGBB), for a list to choose from: every
// format ReadPalette knows, and the text ones (GIMP, JASC, a hex list) with up to
// kMaxListColours colours. False, with `colours` empty, for a malformed file, an empty one,
// or one of more colours.
bool ReadColourList(const std::uint8_t* bytes, std::size_t size, bool zName,
                    std::vector<std::uint32_t>& colours);

} // namespace palette
