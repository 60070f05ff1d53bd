#include "core/palette/named_palettes.h"
#include "core/palette/palette_file.h"
#include "core/palette/palette_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PaletteFile, TheZRuleLooksAtTheThirdByteFromTheEnd) {
    EXPECT_TRUE(palette::IsZName("colours.zpl"));
    EXPECT_TRUE(palette::IsZName("zab"));
    EXPECT_TRUE(palette::IsZName("C:\\pal\\a.z12"));
    EXPECT_FALSE(palette::IsZName("colours.Zpl")); // uppercase does not count
    EXPECT_FALSE(palette::IsZName("colours.pal"));
    EXPECT_FALSE(palette::IsZName("zz"));
    EXPECT_FALSE(palette::IsZName("z"));
    EXPECT_FALSE(palette::IsZName(""));
    // The byte counts even as the trail byte of a double-byte character (0x7A).
    EXPECT_TRUE(palette::IsZName("\x83\x7A"
                                 "ab"));
}

TEST(PaletteFile, PlainFormatMapsRedGreenBlueOntoBlueGreenRedEntries) {
    Bytes file(768);
    for (int i = 0; i < 768; ++i) {
        file[i] = static_cast<std::uint8_t>(i * 7);
    }
    file[0] = 255;
    file[1] = 0;
    file[2] = 0;
    Bytes table(1024, 0xAA); // reserved bytes stay as they are
    palette::DecodePaletteFile(file.data(), file.size(), false, table.data());
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 4), (Bytes{0, 0, 255, 0xAA}));
    EXPECT_EQ(table[4 * 100 + 2], file[300]);
    EXPECT_EQ(table[4 * 100 + 1], file[301]);
    EXPECT_EQ(table[4 * 100], file[302]);
    EXPECT_EQ(table[4 * 255 + 3], 0xAA);

    Bytes written(768);
    palette::EncodePaletteFile(table.data(), written.data());
    EXPECT_EQ(written, file); // a round trip gives the same bytes
}

TEST(PaletteFile, LongFormatSkipsTheHeaderAndTakesRecordBytesTwoToFour) {
    Bytes file(1572, 0x11); // the header is never looked at
    for (int i = 0; i < 256; ++i) {
        file[36 + 6 * i + 2] = static_cast<std::uint8_t>(i);
        file[36 + 6 * i + 3] = static_cast<std::uint8_t>(255 - i);
        file[36 + 6 * i + 4] = static_cast<std::uint8_t>(i / 2);
    }
    file[38] = 9;
    file[39] = 8;
    file[40] = 7;
    Bytes table(1024, 0);
    palette::DecodePaletteFile(file.data(), file.size(), true, table.data());
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 3), (Bytes{7, 8, 9}));
    EXPECT_EQ(Bytes(table.begin() + 4 * 200, table.begin() + 4 * 200 + 3), (Bytes{100, 55, 200}));
}

TEST(PaletteFile, ShortFilesGiveBlackAndLongFilesAreCutAtTheFormat) {
    Bytes plain(768 + 50, 0x40);
    Bytes table(1024, 0x99);
    palette::DecodePaletteFile(plain.data(), 30, false, table.data()); // ten entries
    EXPECT_EQ(table[4 * 9], 0x40);
    EXPECT_EQ(table[4 * 10], 0);
    EXPECT_EQ(table[4 * 255 + 2], 0);
    palette::DecodePaletteFile(plain.data(), plain.size(), false, table.data());
    EXPECT_EQ(table[4 * 255], 0x40);

    // A 768-byte file under a z name: 122 whole records after the header, then black.
    Bytes file(768, 0x33);
    palette::DecodePaletteFile(file.data(), file.size(), true, table.data());
    EXPECT_EQ(table[4 * 121], 0x33);
    EXPECT_EQ(table[4 * 122 + 2], 0);
    EXPECT_EQ(table[4 * 255], 0);
    // Fewer than 36 bytes: the header read is all there is, and it stays in the buffer.
    Bytes tiny = {1, 2, 3, 4, 5, 6, 7, 8};
    palette::DecodePaletteFile(tiny.data(), tiny.size(), true, table.data());
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 3), (Bytes{5, 4, 3}));
    EXPECT_EQ(table[4 * 1 + 2], 0);
    palette::DecodePaletteFile(tiny.data(), 0, false, table.data());
    EXPECT_EQ(table[2], 0);
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
template <std::size_t N> Bytes Text(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

// Reads a file into a table first filled with 0x5A; the number of colours, or -2 when refused.
int Read(const Bytes& file, Bytes& table, bool zName = false) {
    table.assign(1024, 0x5A);
    palette::PaletteFileFacts facts;
    return palette::ReadPalette(file.data(), file.size(), zName, table.data(), facts)
               ? facts.colours
               : -2;
}

// Three colours (10, 20, 30), (255, 0, 128), (0, 0, 7) in each format another tool writes.
TEST(PaletteFormats, EachFormatGivesTheSameTableAndSaysHowManyColours) {
    Bytes riff = Text("RIFF");
    riff.insert(riff.end(), {40, 0, 0, 0});
    riff.insert(riff.end(), {'P', 'A', 'L', ' ', 'L', 'I', 'S', 'T', 3, 0, 0, 0, 1, 2, 3, 0});
    riff.insert(riff.end(), {'d', 'a', 't', 'a', 16, 0, 0, 0, 0, 3, 3, 0});
    riff.insert(riff.end(), {10, 20, 30, 0, 255, 0, 128, 0, 0, 0, 7, 0});
    Bytes act(772, 0x66);
    act[0] = 10, act[1] = 20, act[2] = 30, act[3] = 255, act[4] = 0, act[5] = 128;
    act[6] = 0, act[7] = 0, act[8] = 7;
    act[768] = 0, act[769] = 3, act[770] = 0, act[771] = 1;
    const Bytes files[] = {
        Text("JASC-PAL\r\n0100\r\n3\r\n10 20 30\r\n255 0 128 255\r\n0 0 7\r\n"),
        Text("JASC-PAL\n0100\n3\n10 20 30\n255 0 128\n0 0 7"),
        Text("GIMP Palette\nName: Test\nColumns: 4\n# a comment\n 10  20  30\tDusk\n"
             "255\t0 128 Pink red\n\n  0   0   7\n"),
        riff,
        act,
    };
    for (const Bytes& file : files) {
        Bytes table;
        EXPECT_EQ(Read(file, table), 3);
        EXPECT_EQ(Bytes(table.begin(), table.begin() + 12),
                  (Bytes{30, 20, 10, 0x5A, 128, 0, 255, 0x5A, 7, 0, 0, 0x5A}));
        EXPECT_EQ(Bytes(table.begin() + 12, table.begin() + 15), (Bytes{0, 0, 0}));
        EXPECT_EQ(table[4 * 255 + 1], 0);
    }
    palette::PaletteFileFacts facts;
    Bytes table(1024);
    palette::ReadPalette(act.data(), act.size(), false, table.data(), facts);
    EXPECT_EQ(facts.transparent, 1);
    // Under a z name a 772-byte file is read in the long format, as before.
    EXPECT_EQ(Read(act, table, true), -1);
    EXPECT_EQ(table[2], 0x66);
    // The plain format says nothing of its colours.
    EXPECT_EQ(Read(Bytes(768, 9), table), -1);
    EXPECT_EQ(table[4 * 255], 9);
}

TEST(PaletteFormats, MalformedFilesAreRefusedAndTheTableIsKept) {
    Bytes riffCut = Text("RIFF\0\0\0\0PAL data");
    riffCut.insert(riffCut.end(), {8, 0, 0, 0, 0, 3, 2, 0, 1, 2, 3, 0}); // 2 entries, 1 there
    Bytes riffNoData = Text("RIFF\0\0\0\0PAL LIST");
    riffNoData.insert(riffNoData.end(), {2, 0, 0, 0, 1, 2});
    std::string tooMany = "GIMP Palette\n";
    for (int i = 0; i < 257; ++i) {
        tooMany += "1 2 3\n";
    }
    const Bytes files[] = {
        Text("JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n"),     // fewer lines than it says
        Text("JASC-PAL\r\n0100\r\n1\r\n1 2 256\r\n"),   // over 255
        Text("JASC-PAL\r\n0100\r\n1\r\n1 2 x\r\n"),     // not a number
        Text("JASC-PAL\r\n0100\r\n257\r\n"),            // over 256 colours
        Text("JASC-PAL\r\n0100\r\n1\r\n1 2 3 4 5\r\n"), // five values
        Text("GIMP Palette\n1 2\n"),                    // two values
        Text("GIMP Palette\n1 2 3.5\n"),                // not a whole number
        Text(tooMany),
        riffCut,
        riffNoData,
    };
    for (const Bytes& file : files) {
        Bytes table;
        EXPECT_EQ(Read(file, table), -2) << std::string(file.begin(), file.begin() + 12);
        EXPECT_EQ(table, Bytes(1024, 0x5A));
    }
}

TEST(PaletteFormats, EveryWrittenFormatReadsBackToTheSameColours) {
    Bytes table(1024, 0);
    for (int i = 0; i < 1024; ++i) {
        if (i % 4 != 3) {
            table[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
    }
    struct Case {
        const char* word;
        const char* name;
        std::size_t size;
    };
    for (const Case& c : {Case{"raw", "a.pal", 768}, Case{"act", "a.ACT", 772},
                          Case{"gpl", "a.gpl", 0}, Case{"jasc", "", 0}, Case{"riff", "", 1048}}) {
        palette::PaletteFormat format;
        ASSERT_TRUE(palette::FormatOfWord(c.word, format));
        if (c.name[0] != '\0') {
            EXPECT_EQ(palette::FormatOfName(c.name), format) << c.name;
        }
        const Bytes file = palette::EncodePalette(table.data(), format, 256);
        if (c.size != 0) {
            EXPECT_EQ(file.size(), c.size) << c.word;
        }
        Bytes back;
        EXPECT_EQ(Read(file, back), format == palette::PaletteFormat::Raw ? -1 : 256) << c.word;
        Bytes expected = table;
        for (int i = 3; i < 1024; i += 4) {
            expected[i] = 0x5A;
        }
        EXPECT_EQ(back, expected) << c.word;
    }
    palette::PaletteFormat format;
    EXPECT_FALSE(palette::FormatOfWord("png", format));
}

// GIMP's web-safe palette: 216 colours, each channel 0, 51, ... 255.
std::string WebSafeGimp() {
    std::string text = "GIMP Palette\nName: Web\nColumns: 6\n#\n";
    for (int i = 0; i < 216; ++i) {
        text += std::to_string(i / 36 * 51) + " " + std::to_string(i / 6 % 6 * 51) + " " +
                std::to_string(i % 6 * 51) + "\tweb\n";
    }
    return text;
}

// A palette of 216 colours written with its count holds and says 216 in every format that
// can say it (GIMP lines, the JASC count, the RIFF entries, the Adobe tail with black after
// the colours); the raw format has no count and keeps all 256 entries.
TEST(PaletteFormats, AWrittenPaletteHoldsAndSaysItsColourCount) {
    Bytes table;
    ASSERT_EQ(Read(Text(WebSafeGimp()), table), 216);
    for (int i = 216 * 4; i < 1024; i += 4) {
        table[i] = table[i + 1] = table[i + 2] = 0x77; // not black: the count must cut them
    }
    for (const char* word : {"gpl", "jasc", "riff", "act", "raw"}) {
        SCOPED_TRACE(word);
        palette::PaletteFormat format;
        ASSERT_TRUE(palette::FormatOfWord(word, format));
        const Bytes file = palette::EncodePalette(table.data(), format, 216);
        Bytes back;
        const bool raw = format == palette::PaletteFormat::Raw;
        EXPECT_EQ(Read(file, back), raw ? -1 : 216);
        for (int i = 0; i < 1024; i += 4) {
            const Bytes expected = i < 216 * 4 || raw ? Bytes(&table[i], &table[i + 3]) : Bytes(3);
            EXPECT_EQ(Bytes(&back[i], &back[i + 3]), expected) << i / 4;
        }
        const std::string text(file.begin(), file.end());
        if (format == palette::PaletteFormat::Gpl) {
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + 216);
        } else if (format == palette::PaletteFormat::Jasc) {
            EXPECT_EQ(text.rfind("JASC-PAL\r\n0100\r\n216\r\n", 0), 0u);
        } else if (format == palette::PaletteFormat::Act) {
            ASSERT_EQ(file.size(), 772u);
            EXPECT_EQ(Bytes(file.begin() + 768, file.end()), (Bytes{0, 216, 0xFF, 0xFF}));
            EXPECT_EQ(Bytes(file.begin() + 3 * 216, file.begin() + 768), Bytes(3 * 40, 0));
        } else {
            EXPECT_EQ(file.size(), raw ? 768u : 24u + 4 * 216);
        }
    }
}

// Text palettes as editors save them: behind a UTF-8 byte-order mark, with CR LF, LF or old
// Mac CR line ends. A byte-order mark before anything else is no text: the raw colours.
TEST(PaletteFormats, TextPalettesReadBehindAByteOrderMarkWithAnyLineEnds) {
    const std::string mark = "\xEF\xBB\xBF";
    for (const std::string& text :
         {mark + "GIMP Palette\rName: Mac\r# comment\r10 20 30 Dusk\r255 0 128\r0 0 7\r",
          mark + "JASC-PAL\r\n0100\r\n3\r\n10 20 30\r\n255 0 128\r\n0 0 7\r\n",
          std::string("JASC-PAL\r0100\r3\r10 20 30\r255 0 128\r0 0 7"),
          std::string("GIMP Palette\n10 20 30\r\n255 0 128\r0 0 7")}) {
        Bytes table;
        EXPECT_EQ(Read(Text(text), table), 3) << text;
        EXPECT_EQ(Bytes(table.begin(), table.begin() + 11),
                  (Bytes{30, 20, 10, 0x5A, 128, 0, 255, 0x5A, 7, 0, 0}))
            << text;
    }
    Bytes raw = Text(mark);
    raw.resize(768, 1);
    Bytes table;
    EXPECT_EQ(Read(raw, table), -1);
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 3), (Bytes{191, 187, 239}));
}

// A palette file is read whole or not at all: one over the limit is refused, never cut (a
// GIMP file cut there would lose its later colours unseen). An empty file, which may come as
// no bytes at all, is all black.
TEST(PaletteFormats, AFileOverTheLimitIsRefusedAndAnEmptyOneIsBlack) {
    std::string text = "GIMP Palette\n";
    text += std::string(palette::kMaxPaletteFileBytes - text.size() - 6, '#') + "\n1 2 3";
    Bytes table;
    ASSERT_EQ(text.size(), palette::kMaxPaletteFileBytes);
    EXPECT_EQ(Read(Text(text), table), 1);
    EXPECT_EQ(Read(Text(text + "\n"), table), -2);
    EXPECT_EQ(table, Bytes(1024, 0x5A));

    for (const bool zName : {false, true}) {
        table.assign(1024, 0x5A);
        palette::PaletteFileFacts facts;
        EXPECT_TRUE(palette::ReadPalette(nullptr, 0, zName, table.data(), facts));
        EXPECT_EQ(table[4 * 255 + 2], 0);
        EXPECT_EQ(table[0], 0);
    }
}

palette::PaletteFormat FormatOf(const char* word) {
    palette::PaletteFormat format = palette::PaletteFormat::Raw;
    EXPECT_TRUE(palette::FormatOfWord(word, format)) << word;
    return format;
}

// The device formats: BGR555 of 16 and 256 entries (32 and 512 bytes, told from the plain
// 768) and the hex list read back to the colours written, BGR555's rounded to 5 bits a
// channel and widened again; written again, the same bytes.
TEST(PaletteFormats, DeviceFormatsReadBackAfterTheirRounding) {
    Bytes table(1024, 0);
    for (int i = 0; i < 1024; ++i) {
        table[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    table[0] = 0, table[1] = 0, table[2] = 255;   // red
    table[4] = 255, table[5] = 128, table[6] = 0; // blue and a half green
    for (const int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        const Bytes device = palette::EncodePalette(table.data(), FormatOf("bgr555"), colours);
        ASSERT_EQ(device.size(), 2u * colours);
        EXPECT_EQ(Bytes(device.begin(), device.begin() + 4), (Bytes{0x1F, 0x00, 0x00, 0x7E}));
        Bytes back;
        ASSERT_EQ(Read(device, back), colours);
        EXPECT_EQ(Bytes(&back[4], &back[7]), (Bytes{255, 132, 0})); // 128: 16 of 31, widened
        for (int i = 0; i < 4 * colours; ++i) {
            if (i % 4 != 3) {
                EXPECT_LE(std::abs(back[i] - table[i]), 4) << i;
            }
        }
        EXPECT_EQ(palette::EncodePalette(back.data(), FormatOf("bgr555"), colours), device);

        const Bytes hex = palette::EncodePalette(table.data(), FormatOf("hex"), colours);
        EXPECT_EQ(std::string(hex.begin(), hex.begin() + 14), "ff0000\n0080ff\n");
        ASSERT_EQ(Read(hex, back), colours);
        for (int i = 0; i < 4 * colours; ++i) {
            EXPECT_EQ(back[i], i % 4 == 3 ? 0x5A : table[i]) << i;
        }
    }
    // An odd size, or one over 512 bytes, is no BGR555 palette: the plain format, no count.
    Bytes back;
    EXPECT_EQ(Read(Bytes(511, 1), back), -1);
    EXPECT_EQ(Read(Bytes(514, 1), back), -1);
    EXPECT_EQ(Read(Bytes(), back), -1);
    EXPECT_EQ(Read(Bytes(512, 1), back, true), -1); // nor under a z name
}

// A hex list as lospec.com and editors give it: either case, '#', blanks, CR LF, blank lines,
// a byte-order mark. A line that is no colour refuses the file.
TEST(PaletteFormats, AHexListIsKnownByItsLines) {
    Bytes table;
    EXPECT_EQ(Read(Text("\xEF\xBB\xBF#FF004D\r\n\r\n  1d2b53 \r\n#7e2553"), table), 3);
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 11),
              (Bytes{0x4D, 0x00, 0xFF, 0x5A, 0x53, 0x2B, 0x1D, 0x5A, 0x53, 0x25, 0x7E}));
    for (const char* bad :
         {"ff004d\n1d2b5\n", "ff004d\n1d2b53x\n", "ff004d\n1d 2b 53\n", "ff004d\n##1d2b53\n"}) {
        EXPECT_EQ(Read(Text(std::string(bad)), table), -2) << bad;
        EXPECT_EQ(table, Bytes(1024, 0x5A));
    }
}

std::string Lines(const char* header, int colours, bool hex) {
    std::string text = header;
    char line[32];
    for (int i = 0; i < colours; ++i) {
        std::snprintf(line, sizeof line, hex ? "%02x%02x%02x\n" : "%d %d %d\n", i >> 8, i & 255,
                      i % 7);
        text += line;
    }
    return text;
}

// A list to choose from holds up to 4,096 colours of a text file, in its order; a palette
// holds no more than 256, and a list of 5,000 is refused as a palette file of 257 is.
TEST(PaletteFormats, AColourListHoldsUpTo4096Colours) {
    std::vector<std::uint32_t> colours;
    const auto list = [&colours](const std::string& text, bool zName = false) {
        colours.assign(3, 7);
        return palette::ReadColourList(reinterpret_cast<const std::uint8_t*>(text.data()),
                                       text.size(), zName, colours);
    };
    for (const bool hex : {false, true}) {
        const char* header = hex ? "" : "GIMP Palette\n";
        EXPECT_TRUE(list(Lines(header, 4096, hex))) << hex;
        ASSERT_EQ(colours.size(), 4096u);
        EXPECT_EQ(colours[0], 0u);
        EXPECT_EQ(colours[4095], 0x0FFF00u | 4095 % 7);
        EXPECT_FALSE(list(Lines(header, 5000, hex)));
        EXPECT_TRUE(colours.empty());
        Bytes table;
        EXPECT_EQ(Read(Text(Lines(header, 257, hex)), table), -2);
    }
    EXPECT_TRUE(list("JASC-PAL\n0100\n4096\n" + Lines("", 4096, false)));
    EXPECT_EQ(colours.size(), 4096u);
    EXPECT_FALSE(list("JASC-PAL\n0100\n4097\n" + Lines("", 4097, false)));
    // The binary formats: all 256 plain entries, as many as an Adobe table or BGR555 holds.
    std::string plain(768, '\x10');
    plain[765] = 1, plain[766] = 2, plain[767] = 3;
    EXPECT_TRUE(list(plain));
    ASSERT_EQ(colours.size(), 256u);
    EXPECT_EQ(colours[255], 0x010203u);
    std::string act = plain + std::string("\0\x05\xFF\xFF", 4);
    EXPECT_TRUE(list(act));
    EXPECT_EQ(colours, std::vector<std::uint32_t>(5, 0x101010));
    EXPECT_TRUE(list(std::string("\x1F\x00\x00\x7C", 4)));
    EXPECT_EQ(colours, (std::vector<std::uint32_t>{0xFF0000, 0x0000FF}));
    // Empty, no colours, or a plain file cut short: nothing to choose from.
    for (const std::string& none : {std::string(), std::string("GIMP Palette\n# none\n"),
                                    std::string("JASC-PAL\n0100\n0\n"), std::string(767, '\1')}) {
        EXPECT_FALSE(list(none)) << none.size();
        EXPECT_TRUE(colours.empty());
    }
    EXPECT_FALSE(list(plain, true)); // a z name asks for 1572 bytes
}

// The formats a name asks for and takes, and the C header's shape: an array named after the
// file, its words or bytes, eight or four colours a line.
TEST(PaletteFormats, NamesAndTheCHeader) {
    EXPECT_EQ(palette::FormatOfName("a.HEX"), FormatOf("hex"));
    EXPECT_EQ(palette::FormatOfName("dir.h/a.pal"), FormatOf("raw"));
    EXPECT_EQ(palette::FormatOfName("a.h"), FormatOf("c"));
    EXPECT_TRUE(palette::FormatFitsName("a.pal", FormatOf("bgr555")));
    EXPECT_TRUE(palette::FormatFitsName("a.H", FormatOf("c-rgb888")));
    EXPECT_FALSE(palette::FormatFitsName("a.h", FormatOf("hex")));
    EXPECT_FALSE(palette::FormatFitsName("a.hex", FormatOf("gpl")));
    EXPECT_FALSE(palette::FormatFitsName("a.gpl", FormatOf("bgr555")));

    Bytes table(1024, 0);
    table[2] = 255, table[5] = 255, table[8] = 255; // red, green, blue
    const auto header = [&table](const char* word, const std::string& name) {
        const Bytes file = palette::EncodePalette(table.data(), FormatOf(word), 9, name);
        return std::string(file.begin(), file.end());
    };
    std::string text = header("c", "out/my-sprites.h");
    EXPECT_NE(text.find("#ifndef MY_SPRITES_H\n#define MY_SPRITES_H\n"), std::string::npos);
    EXPECT_NE(text.find("#include <stdint.h>\n"), std::string::npos);
    EXPECT_NE(text.find("static const uint16_t my_sprites[] = {\n"
                        "    0xF800, 0x07E0, 0x001F, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,\n"
                        "    0x0000,\n};\n"),
              std::string::npos)
        << text;
    EXPECT_NE(header("c-bgr555", "C:\\x\\3d.h")
                  .find("uint16_t palette_3d[] = {\n"
                        "    0x001F, 0x03E0, 0x7C00,"),
              std::string::npos);
    text = header("c-rgb888", "");
    EXPECT_NE(text.find("static const uint8_t palette[] = {\n"
                        "    0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin() + text.find("= {"), text.end(), ','), 27); // 9 colours
}

TEST(NamedPalettes, EachHoldsItsPublishedColours) {
    const std::size_t sizes[] = {16, 4, 16, 64, 512, 216};
    ASSERT_EQ(palette::kPaletteNameCount, 6);
    for (int p = 0; p < palette::kPaletteNameCount; ++p) {
        std::vector<std::uint32_t> colours;
        ASSERT_TRUE(palette::FindNamedPalette(palette::kPaletteNames[p], colours));
        EXPECT_EQ(colours.size(), sizes[p]) << palette::kPaletteNames[p];
        std::vector<std::uint32_t> sorted = colours;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    }
    const auto has = [](const char* name, std::uint32_t colour, std::size_t at = SIZE_MAX) {
        std::vector<std::uint32_t> colours;
        palette::FindNamedPalette(name, colours);
        const auto found = std::find(colours.begin(), colours.end(), colour);
        return found != colours.end() &&
               (at == SIZE_MAX || static_cast<std::size_t>(found - colours.begin()) == at);
    };
    EXPECT_TRUE(has("pico8", 0xFF004D, 8));
    EXPECT_TRUE(has("gameboy", 0x0F380F, 3));
    EXPECT_TRUE(has("cga", 0xAA5500, 6));
    EXPECT_TRUE(has("ega", 0x55AAFF));
    EXPECT_TRUE(has("genesis", 0x246D92)); // 1, 3, 4 of 7
    EXPECT_TRUE(has("genesis", 0xFFDBB6)); // 7, 6, 5
    EXPECT_TRUE(has("websafe", 0x336699));
    std::vector<std::uint32_t> kept = {1};
    EXPECT_FALSE(palette::FindNamedPalette("PICO8", kept));
    EXPECT_EQ(kept, std::vector<std::uint32_t>{1});
}

} // namespace
