#include "core/palette/palette_formats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

// JASC-PAL, 0100, the number of colours, then a line "R G B" (or "R G B A") for each.
bool ReadJasc(const std::uint8_t* bytes, std::size_t size, std::vector<Colour>& colours) {
    Lines lines(bytes, size);
    std::string line;
    int count = 0;
    std::size_t at = 0;
    if (!lines.Next(line) || !lines.Next(line) || line.compare(0, 4, "0100") != 0 ||
        !lines.Next(line) || !ReadNumber(line, at, kMaxColours, count) ||
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

// GIMP Palette, optional Name: and Columns: lines, # comments, then "R G B [name]" lines.
bool ReadGimp(const std::uint8_t* bytes, std::size_t size, std::vector<Colour>& colours) {
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
        if (colours.size() == kMaxColours || !ReadColour(line, at, colour)) {
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

} // namespace

bool ReadPalette(const std::uint8_t* bytes, std::size_t size, bool zName, std::uint8_t* table,
                 PaletteFileFacts& facts) {
    facts = PaletteFileFacts{};
    if (size > kMaxPaletteFileBytes) {
        return false;
    }
    // Text written by editors that mark UTF-8 begins with a byte-order mark.
    const std::size_t mark = StartsWith(bytes, size, kUtf8Mark) ? std::strlen(kUtf8Mark) : 0;
    std::vector<Colour> colours;
    bool read;
    if (StartsWith(bytes, size, "RIFF") && size >= 12 && std::memcmp(bytes + 8, "PAL ", 4) == 0) {
        read = ReadRiff(bytes, size, colours);
    } else if (StartsWith(bytes + mark, size - mark, "JASC-PAL")) {
        read = ReadJasc(bytes + mark, size - mark, colours);
    } else if (StartsWith(bytes + mark, size - mark, "GIMP Palette")) {
        read = ReadGimp(bytes + mark, size - mark, colours);
    } else if (size == kActBytes && !zName) {
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
    } else {
        DecodePaletteFile(bytes, size, zName, table);
        return true;
    }
    if (!read) {
        return false;
    }
    Fill(table, colours);
    facts.colours = static_cast<int>(colours.size());
    return true;
}

PaletteFormat FormatOfName(const std::string& name) {
    const std::string extension = ExtensionOf(name);
    if (extension == "gpl") {
        return PaletteFormat::Gpl;
    }
    return extension == "act" ? PaletteFormat::Act : PaletteFormat::Raw;
}

bool FormatOfWord(const std::string& word, PaletteFormat& format) {
    static const struct {
        const char* word;
        PaletteFormat format;
    } kWords[] = {{"raw", PaletteFormat::Raw},
                  {"act", PaletteFormat::Act},
                  {"gpl", PaletteFormat::Gpl},
                  {"jasc", PaletteFormat::Jasc},
                  {"riff", PaletteFormat::Riff}};
    for (const auto& known : kWords) {
        if (word == known.word) {
            format = known.format;
            return true;
        }
    }
    return false;
}

bool FormatFitsName(const std::string& name, PaletteFormat format) {
    const std::string extension = ExtensionOf(name);
    if (extension == "pal") {
        // The name other tools give JASC, RIFF and raw palettes alike.
        return format == PaletteFormat::Raw || format == PaletteFormat::Jasc ||
               format == PaletteFormat::Riff;
    }
    return (extension != "gpl" && extension != "act") || FormatOfName(name) == format;
}

std::vector<std::uint8_t> EncodePalette(const std::uint8_t* table, PaletteFormat format,
                                        int colours) {
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
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "%3d %3d %3d\tIndex %d\n", table[4 * i + 2],
                          table[4 * i + 1], table[4 * i], i);
            Append(out, line);
        }
        break;
    case PaletteFormat::Jasc:
        std::snprintf(line, sizeof line, "JASC-PAL\r\n0100\r\n%d\r\n", count);
        Append(out, line);
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "%d %d %d\r\n", table[4 * i + 2], table[4 * i + 1],
                          table[4 * i]);
            Append(out, line);
        }
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
    }
    return out;
}

} // namespace palette
