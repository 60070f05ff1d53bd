#include "core/palette/palette_file.h"

#include <gtest/gtest.h>

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

} // namespace
