#include "core/palette/palette_formats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/palette/palette_file.h"

namespace palette {
namespace {

constexpr std::size_t kActBytes = kPlainFileBytes + 4;
constexpr int kMaxColours = 256;
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

struct Colour {
    std::uint8_t red, green, blue;
};

bool StartsWith(const std::uint8_t* bytes, std::size_t size, const char* text) {
    const std::size_t length = std::strlen(text);
    return size >= length && std::memcmp(bytes, text, length) == 0;
}

unsigned Little16(const std::uint8_t* p) {
    return p[0] | unsigned{p[1]} << 8;
}
std::uint32_t Little32(const std::uint8_t* p) {
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The lines of a text file, without their line ends: LF, CR LF or CR alone (as old Mac
// programs write them).
class Lines {
  public:
    Lines(const std::uint8_t* bytes, std::size_t size)
        : text_(reinterpret_cast<const char*>(bytes)), size_(size) {}
    bool Next(std::string& line) {
        if (at_ >= size_) {
            return false;
        }
        std::size_t stop = at_;
        while (stop < size_ && text_[stop] != '\n' && text_[stop] != '\r') {
            ++stop;
        }
        line.assign(text_ + at_, stop - at_);
        at_ = stop + (stop + 1 < size_ && text_[stop] == '\r' && text_[stop + 1] == '\n' ? 2 : 1);
        return true;
    }

  private:
    const char* text_;
    std::size_t size_;
    std::size_t at_ = 0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t SkipBlanks(const std::string& line, std::size_t at) {
    while (at < line.size() && IsBlank(line[at])) {
        ++at;
    }
    return at;
}

// A decimal number of at most `limit` at `at` (after blanks), ended by a blank or the end of
// the line; false for anything else.
bool ReadNumber(const std::string& line, std::size_t& at, int limit, int& value) {
    at = SkipBlanks(line, at);
    const std::size_t first = at;
    value = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
        value = value * 10 + (line[at] - '0');
        if (value > limit) {
            return false;
        }
        ++at;
    }
    return at > first && (at == line.size() || IsBlank(line[at]));
}

// "R G B" at the start of a line; what follows them is left to the caller.
bool ReadColour(const std::string& line, std::size_t& at, Colour& colour) {
    int red, green, blue;
    if (!ReadNumber(line, at, 255, red) || !ReadNumber(line, at, 255, green) ||
        !ReadNumber(line, at, 255, blue)) {
        return false;
    }
    colour = {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
              static_cast<std::uint8_t>(blue)};
    return true;
}

// JASC-PAL, 0100, the number of colours (at most `limit`), then a line "R G B" (or
// "R G B A") for each.
bool ReadJasc(const std::uint8_t* bytes, std::size_t size, int limit,
              std::vector<Colour>& colours) {
    Lines lines(bytes, size);
    std::string line;
    int count = 0;
    std::size_t at = 0;
    if (!lines.Next(line) || !lines.Next(line) || line.compare(0, 4, "0100") != 0 ||
        !lines.Next(line) || !ReadNumber(line, at, limit, count) ||
        SkipBlanks(line, at) != line.size()) {
        return false;
    }
    while (static_cast<int>(colours.size()) < count) {
        Colour colour;
        int alpha;
        at = 0;
        if (!lines.Next(line) || !ReadColour(line, at, colour)) {
            return false;
        }
        if (SkipBlanks(line, at) != line.size() &&
            (!ReadNumber(line, at, 255, alpha) || SkipBlanks(line, at) != line.size())) {
            return false;
        }
        colours.push_back(colour);
    }
    return true;
}

// GIMP Palette, optional Name: and Columns: lines, # comments, then "R G B [name]" lines, at
// most `limit` of them.
bool ReadGimp(const std::uint8_t* bytes, std::size_t size, int limit,
              std::vector<Colour>& colours) {
    Lines lines(bytes, size);
    std::string line;
    lines.Next(line);
    while (lines.Next(line)) {
        const std::size_t first = SkipBlanks(line, 0);
        if (first == line.size() || line[first] == '#' || line.compare(0, 5, "Name:") == 0 ||
            line.compare(0, 8, "Columns:") == 0) {
            continue;
        }
        Colour colour;
        std::size_t at = 0;
        if (static_cast<int>(colours.size()) == limit || !ReadColour(line, at, colour)) {
            return false;
        }
        colours.push_back(colour);
    }
    return true;
}

// "RIFF", its size, "PAL ", then chunks; the "data" chunk holds palVersion, palNumEntries
// and red, green, blue, flags for each entry. Chunks are padded to an even size.
bool ReadRiff(const std::uint8_t* bytes, std::size_t size, std::vector<Colour>& colours) {
    std::size_t at = 12;
    while (size - at >= 8) {
        const std::uint32_t length = Little32(bytes + at + 4);
        const std::uint8_t* data = bytes + at + 8;
        if (length > size - at - 8) {
            return false;
        }
        if (std::memcmp(bytes + at, "data", 4) == 0) {
            const unsigned count = length >= 4 ? Little16(data + 2) : 0;
            if (length < 4 || count > kMaxColours || 4 + 4 * std::size_t{count} > length) {
                return false;
            }
            for (unsigned i = 0; i < count; ++i) {
                const std::uint8_t* entry = data + 4 + 4 * i;
                colours.push_back({entry[0], entry[1], entry[2]});
            }
            return true;
        }
        at += 8 + std::size_t{length} + (length & 1);
        if (at > size) {
            return false;
        }
    }
    return false;
}

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// "RRGGBB" or "#RRGGBB", either case, with blanks around it; false for anything else.
bool ReadHexColour(const std::string& line, Colour& colour) {
    std::size_t at = SkipBlanks(line, 0);
    at += at < line.size() && line[at] == '#';
    int value[6];
    for (int& digit : value) {
        digit = at < line.size() ? HexDigit(line[at++]) : -1;
        if (digit < 0) {
            return false;
        }
    }
    colour = {static_cast<std::uint8_t>(value[0] << 4 | value[1]),
              static_cast<std::uint8_t>(value[2] << 4 | value[3]),
              static_cast<std::uint8_t>(value[4] << 4 | value[5])};
    return SkipBlanks(line, at) == line.size();
}

// A hex list is known by its first line that is not blank: a colour as ReadHexColour reads it.
bool IsHexList(const std::uint8_t* bytes, std::size_t size) {
    Lines lines(bytes, size);
    std::string line;
    while (lines.Next(line)) {
        if (SkipBlanks(line, 0) != line.size()) {
            Colour colour;
            return ReadHexColour(line, colour);
        }
    }
    return false;
}

// One colour a line that is not blank, at most `limit` of them.
bool ReadHexList(const std::uint8_t* bytes, std::size_t size, int limit,
                 std::vector<Colour>& colours) {
    Lines lines(bytes, size);
    std::string line;
    while (lines.Next(line)) {
        Colour colour;
        if (SkipBlanks(line, 0) == line.size()) {
            continue;
        }
        if (static_cast<int>(colours.size()) == limit || !ReadHexColour(line, colour)) {
            return false;
        }
        colours.push_back(colour);
    }
    return true;
}

// The 5 bits of an 8-bit channel, rounded; and back, by bit replication, as devices show them.
unsigned FiveBits(std::uint8_t value) {
    return (value * 31u + 127) / 255;
}
unsigned SixBits(std::uint8_t value) {
    return (value * 63u + 127) / 255;
}
std::uint8_t FromFiveBits(unsigned value) {
    return static_cast<std::uint8_t>((value & 31) << 3 | (value & 31) >> 2);
}

// 16-bit words of the table's entries (blue, green, red): 0BBBBBGGGGGRRRRR and
// RRRRRGGGGGGBBBBB.
unsigned Bgr555Of(const std::uint8_t* entry) {
    return FiveBits(entry[0]) << 10 | FiveBits(entry[1]) << 5 | FiveBits(entry[2]);
}
unsigned Rgb565Of(const std::uint8_t* entry) {
    return FiveBits(entry[2]) << 11 | SixBits(entry[1]) << 5 | FiveBits(entry[0]);
}

// Two bytes, little-endian, an entry: 0BBBBBGGGGGRRRRR (the top bit is not looked at).
void ReadBgr555(const std::uint8_t* bytes, std::size_t size, std::vector<Colour>& colours) {
    for (std::size_t at = 0; at + 1 < size; at += 2) {
        const unsigned word = Little16(bytes + at);
        colours.push_back({FromFiveBits(word), FromFiveBits(word >> 5), FromFiveBits(word >> 10)});
    }
}

// What a file is, by its content: RIFF, JASC and GIMP palettes by their first bytes (the text
// ones also behind a UTF-8 byte-order mark), a hex list by its first line, an Adobe colour
// table by its 772 bytes. Of the other files, those of an even size up to 512 bytes (256
// entries of two bytes) hold BGR555 colours; the plain format has 768 bytes, so only a plain
// file cut short could be taken for one. Neither applies under a z name; the rest are plain.
enum class Kind { Riff, Jasc, Gimp, Hex, Bgr555, Act, Plain };

constexpr std::size_t kMaxBgr555Bytes = 2 * kMaxColours;

std::size_t MarkOf(const std::uint8_t* bytes, std::size_t size) {
    return StartsWith(bytes, size, kUtf8Mark) ? std::strlen(kUtf8Mark) : 0;
}

Kind KindOf(const std::uint8_t* bytes, std::size_t size, bool zName) {
    const std::size_t mark = MarkOf(bytes, size);
    if (StartsWith(bytes, size, "RIFF") && size >= 12 && std::memcmp(bytes + 8, "PAL ", 4) == 0) {
        return Kind::Riff;
    }
    if (StartsWith(bytes + mark, size - mark, "JASC-PAL")) {
        return Kind::Jasc;
    }
    if (StartsWith(bytes + mark, size - mark, "GIMP Palette")) {
        return Kind::Gimp;
    }
    if (IsHexList(bytes + mark, size - mark)) {
        return Kind::Hex;
    }
    if (zName) {
        return Kind::Plain;
    }
    if (size == kActBytes) {
        return Kind::Act;
    }
    return size > 0 && size % 2 == 0 && size <= kMaxBgr555Bytes ? Kind::Bgr555 : Kind::Plain;
}

// The colours of a file whose format lists them (every kind but Act and Plain), the text
// formats holding at most `limit`; false when it is malformed.
bool ReadListed(Kind kind, const std::uint8_t* bytes, std::size_t size, int limit,
                std::vector<Colour>& colours) {
    const std::size_t mark = MarkOf(bytes, size);
    switch (kind) {
    case Kind::Riff:
        return ReadRiff(bytes, size, colours);
    case Kind::Jasc:
        return ReadJasc(bytes + mark, size - mark, limit, colours);
    case Kind::Gimp:
        return ReadGimp(bytes + mark, size - mark, limit, colours);
    case Kind::Hex:
        return ReadHexList(bytes + mark, size - mark, limit, colours);
    case Kind::Bgr555:
        ReadBgr555(bytes, size, colours);
        return true;
    case Kind::Act:
    case Kind::Plain:
        break;
    }
    return false;
}

void Fill(std::uint8_t* table, const std::vector<Colour>& colours) {
    for (std::size_t i = 0; i < kMaxColours; ++i) {
        const Colour colour = i < colours.size() ? colours[i] : Colour{0, 0, 0};
        table[4 * i] = colour.blue;
        table[4 * i + 1] = colour.green;
        table[4 * i + 2] = colour.red;
    }
}

void Append(std::vector<std::uint8_t>& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

// A line for each of the first `count` entries, as `format` prints red, green, blue and the
// entry's number (a format may leave the number out).
void AppendLines(std::vector<std::uint8_t>& out, const std::uint8_t* table, int count,
                 const char* format) {
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, format, table[4 * i + 2], table[4 * i + 1], table[4 * i],
                      i);
        Append(out, line);
    }
}

void AppendLittle(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> 8 * i));
    }
}

void AppendBig16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// The extension of a name, lower case, without its dot; empty when it has none.
std::string ExtensionOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t folder = name.find_last_of("/\\");
    std::string extension =
        dot == std::string::npos || (folder != std::string::npos && folder > dot)
            ? ""
            : name.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

constexpr unsigned Bit(PaletteFormat format) {
    return 1u << static_cast<unsigned>(format);
}

// The extensions that belong to formats: the format a name with one asks for, and those
// written under it. ".pal" is the name other tools give raw, JASC, RIFF and BGR555 palettes
// alike.
struct NameExtension {
    const char* extension;
    PaletteFormat asks;
    unsigned fits;
};
constexpr NameExtension kExtensions[] = {
    {"pal", PaletteFormat::Raw,
     Bit(PaletteFormat::Raw) | Bit(PaletteFormat::Jasc) | Bit(PaletteFormat::Riff) |
         Bit(PaletteFormat::Bgr555)},
    {"gpl", PaletteFormat::Gpl, Bit(PaletteFormat::Gpl)},
    {"act", PaletteFormat::Act, Bit(PaletteFormat::Act)},
    {"hex", PaletteFormat::Hex, Bit(PaletteFormat::Hex)},
    {"h", PaletteFormat::CRgb565,
     Bit(PaletteFormat::CRgb565) | Bit(PaletteFormat::CBgr555) | Bit(PaletteFormat::CRgb888)},
};

const NameExtension* KnownExtension(const std::string& name) {
    const std::string extension = ExtensionOf(name);
    for (const NameExtension& known : kExtensions) {
        if (extension == known.extension) {
            return &known;
        }
    }
    return nullptr;
}

// A C identifier made from a file's name without its folder and extension: every character
// that cannot be in one becomes '_', and a name that would begin with a digit or be empty
// begins with "palette".
std::string IdentifierOf(const std::string& name) {
    const std::size_t folder = name.find_last_of("/\\");
    std::string stem = name.substr(folder == std::string::npos ? 0 : folder + 1);
    stem = stem.substr(0, stem.rfind('.'));
    for (char& c : stem) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        c = letter || (c >= '0' && c <= '9') ? c : '_';
    }
    if (stem.empty() || (stem[0] >= '0' && stem[0] <= '9')) {
        stem.insert(0, stem.empty() ? "palette" : "palette_");
    }
    return stem;
}

// A C header holding the first `count` entries as an array of 16-bit words (RGB565 or
// BGR555) or of red, green, blue bytes, named after the file.
void AppendCArray(std::vector<std::uint8_t>& out, const std::uint8_t* table, PaletteFormat format,
                  int count, const std::string& name) {
    static const struct {
        PaletteFormat format;
        const char* layout;
        const char* type;
        unsigned (*word)(const std::uint8_t*); // null: three bytes an entry
        int perLine;
    } kArrays[] = {{PaletteFormat::CRgb565, "RGB565 (RRRRRGGGGGGBBBBB)", "uint16_t", Rgb565Of, 8},
                   {PaletteFormat::CBgr555, "BGR555 (0BBBBBGGGGGRRRRR)", "uint16_t", Bgr555Of, 8},
                   {PaletteFormat::CRgb888, "red, green, blue", "uint8_t", nullptr, 4}};
    const auto* array =
        std::find_if(std::begin(kArrays), std::end(kArrays),
                     [format](const auto& known) { return known.format == format; });
    const std::string identifier = IdentifierOf(name);
    std::string guard = identifier + "_H";
    std::transform(guard.begin(), guard.end(), guard.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    char line[128];
    std::snprintf(line, sizeof line, "/* %d colours, %s */\n", count, array->layout);
    Append(out, line);
    Append(out,
           ("#ifndef " + guard + "\n#define " + guard + "\n\n#include <stdint.h>\n\n").c_str());
    Append(out, ("static const " + std::string(array->type) + " " + identifier + "[] = {").c_str());
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = table + 4 * i;
        Append(out, i % array->perLine == 0 ? "\n   " : "");
        if (array->word != nullptr) {
            std::snprintf(line, sizeof line, " 0x%04X,", array->word(entry));
        } else {
            std::snprintf(line, sizeof line, " 0x%02X, 0x%02X, 0x%02X,", entry[2], entry[1],
                          entry[0]);
        }
        Append(out, line);
    }
    Append(out, ("\n};\n\n#endif /* " + guard + " */\n").c_str());
}

} // namespace

bool ReadPalette(const std::uint8_t* bytes, std::size_t size, bool zName, std::uint8_t* table,
                 PaletteFileFacts& facts) {
    facts = PaletteFileFacts{};
    if (size > kMaxPaletteFileBytes) {
        return false;
    }
    const Kind kind = KindOf(bytes, size, zName);
    if (kind == Kind::Act) {
        const unsigned count = bytes[768] << 8 | bytes[769];
        const unsigned transparent = bytes[770] << 8 | bytes[771];
        DecodePaletteFile(bytes, size, false, table);
        if (count >= 1 && count <= kMaxColours) {
            // Entries after the colours it holds are black, as in the other formats.
            for (unsigned i = count; i < kMaxColours; ++i) {
                table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = 0;
            }
            facts.colours = static_cast<int>(count);
            if (transparent < count) {
                facts.transparent = static_cast<int>(transparent);
            }
        }
        return true;
    }
    if (kind == Kind::Plain) {
        DecodePaletteFile(bytes, size, zName, table);
        return true;
    }
    std::vector<Colour> colours;
    if (!ReadListed(kind, bytes, size, kMaxColours, colours)) {
        return false;
    }
    Fill(table, colours);
    facts.colours = static_cast<int>(colours.size());
    return true;
}

bool ReadColourList(const std::uint8_t* bytes, std::size_t size, bool zName,
                    std::vector<std::uint32_t>& colours) {
    colours.clear();
    if (size == 0 || size > kMaxPaletteFileBytes) {
        return false;
    }
    const Kind kind = KindOf(bytes, size, zName);
    std::vector<Colour> listed;
    if (kind == Kind::Act || kind == Kind::Plain) {
        // A list takes a file of these formats whole: one cut short would add black entries
        // it never held.
        if (size < (zName ? kZHeaderBytes + kZRecordBytes : kPlainFileBytes)) {
            return false;
        }
        std::uint8_t table[kTableBytes] = {};
        PaletteFileFacts facts;
        ReadPalette(bytes, size, zName, table, facts);
        const int count = facts.colours >= 0 ? facts.colours : kMaxColours;
        for (int i = 0; i < count; ++i) {
            listed.push_back({table[4 * i + 2], table[4 * i + 1], table[4 * i]});
        }
    } else if (!ReadListed(kind, bytes, size, kMaxListColours, listed)) {
        return false;
    }
    for (const Colour& colour : listed) {
        colours.push_back(std::uint32_t{colour.red} << 16 | std::uint32_t{colour.green} << 8 |
                          colour.blue);
    }
    return !colours.empty();
}

PaletteFormat FormatOfName(const std::string& name) {
    const NameExtension* known = KnownExtension(name);
    return known != nullptr ? known->asks : PaletteFormat::Raw;
}

bool FormatOfWord(const std::string& word, PaletteFormat& format) {
    static const struct {
        const char* word;
        PaletteFormat format;
    } kWords[] = {{"raw", PaletteFormat::Raw},          {"act", PaletteFormat::Act},
                  {"gpl", PaletteFormat::Gpl},          {"jasc", PaletteFormat::Jasc},
                  {"riff", PaletteFormat::Riff},        {"bgr555", PaletteFormat::Bgr555},
                  {"hex", PaletteFormat::Hex},          {"c", PaletteFormat::CRgb565},
                  {"c-bgr555", PaletteFormat::CBgr555}, {"c-rgb888", PaletteFormat::CRgb888}};
    for (const auto& known : kWords) {
        if (word == known.word) {
            format = known.format;
            return true;
        }
    }
    return false;
}

bool FormatFitsName(const std::string& name, PaletteFormat format) {
    const NameExtension* known = KnownExtension(name);
    return known == nullptr || (known->fits & Bit(format)) != 0;
}

std::vector<std::uint8_t> EncodePalette(const std::uint8_t* table, PaletteFormat format,
                                        int colours, const std::string& name) {
    const int count = std::clamp(colours, 1, kMaxColours);
    std::vector<std::uint8_t> out;
    char line[64];
    switch (format) {
    case PaletteFormat::Raw:
        out.resize(kPlainFileBytes);
        EncodePaletteFile(table, out.data());
        break;
    case PaletteFormat::Act:
        // Always 256 entries, those after the colours black; then how many there are, and
        // no transparent index.
        out.resize(kPlainFileBytes);
        EncodePaletteFile(table, out.data());
        std::fill(out.begin() + 3 * count, out.end(), std::uint8_t{0});
        AppendBig16(out, static_cast<unsigned>(count));
        AppendBig16(out, 0xFFFF);
        break;
    case PaletteFormat::Gpl:
        Append(out, "GIMP Palette\nName: Tintwright\nColumns: 16\n#\n");
        AppendLines(out, table, count, "%3d %3d %3d\tIndex %d\n");
        break;
    case PaletteFormat::Jasc:
        std::snprintf(line, sizeof line, "JASC-PAL\r\n0100\r\n%d\r\n", count);
        Append(out, line);
        AppendLines(out, table, count, "%d %d %d\r\n");
        break;
    case PaletteFormat::Riff:
        Append(out, "RIFF");
        AppendLittle(out, static_cast<std::uint32_t>(4 + 8 + 4 + 4 * count), 4);
        Append(out, "PAL data");
        AppendLittle(out, static_cast<std::uint32_t>(4 + 4 * count), 4);
        AppendLittle(out, 0x0300, 2);
        AppendLittle(out, static_cast<std::uint32_t>(count), 2);
        for (int i = 0; i < count; ++i) {
            out.insert(out.end(), {table[4 * i + 2], table[4 * i + 1], table[4 * i], 0});
        }
        break;
    case PaletteFormat::Bgr555:
        for (int i = 0; i < count; ++i) {
            AppendLittle(out, Bgr555Of(table + 4 * i), 2);
        }
        break;
    case PaletteFormat::Hex:
        AppendLines(out, table, count, "%02x%02x%02x\n");
        break;
    case PaletteFormat::CRgb565:
    case PaletteFormat::CBgr555:
    case PaletteFormat::CRgb888:
        AppendCArray(out, table, format, count, name);
        break;
    }
    return out;
}

} // namespace palette
