// PNG and JPEG files in the command-line tool: the PNG test suite read as an independent
// decoder reads it, damaged files refused before anything is allocated for them, and the
// PNG files it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <png.h>
#include <random>

#include <jpeglib.h>
#include <zlib.h>

#include "cli/deflate.h"
#include "cli/image_io.h"
#include "core/bmp/layout.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/fewer_bits.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/png_reference.h"
#include "tests/support/temp_folder.h"

namespace {

using testimg::Bytes;

bool Decode(const Bytes& file, Bytes& bmp, std::string& error, const image::AlphaRule& rule = {}) {
    cli::FileBytes decoded;
    if (!cli::DecodeToBmp(file.data(), file.size(), rule, decoded, error)) {
        return false;
    }
    bmp.assign(decoded.begin(), decoded.end());
    return true;
}

// Every file of the suite: its pixels as Pillow reads them, the interlaced ones as their
// plain twins, and each converts with both methods.
TEST(PngSuite, EveryFileReadsAsPillowReadsItAndConverts) {
    if (!testimg::PathExists(TW_PNG_CORPUS_DIR "/basn2c08.png")) {
        GTEST_SKIP() << "no PNG suite at " << TW_PNG_CORPUS_DIR;
    }
    EXPECT_EQ(testimg::SuiteDifferences([](const std::string& path, Bytes& bmp) {
                  std::string error;
                  if (Decode(testimg::ReadFileBytes(path), bmp, error)) {
                      for (const auto stages :
                           {quantize::kBasicDiffusion, quantize::kHighQualityDiffusion}) {
                          EXPECT_EQ(
                              testimg::Diffused(bmp, 0, testimg::kBlackTable, stages, 1).outcome,
                              quantize::Outcome::Converted)
                              << path;
                      }
                  }
                  return error;
              }),
              "");
}

// A PNG file's bytes changed at `at` (counted from the end when negative).
Bytes Changed(Bytes file, std::ptrdiff_t at, std::uint8_t value) {
    file[static_cast<std::size_t>(at < 0 ? static_cast<std::ptrdiff_t>(file.size()) + at : at)] =
        value;
    return file;
}

// Big-endian 32-bit numbers for a chunk made by hand.
void PutBig32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

// A PNG file of a header alone, and its IEND: no image data, however large it says it is.
Bytes HeaderOnly(std::uint32_t width, std::uint32_t height) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&file](const char* type, const Bytes& data) {
        PutBig32(file, static_cast<std::uint32_t>(data.size()));
        Bytes typed(type, type + 4);
        typed.insert(typed.end(), data.begin(), data.end());
        file.insert(file.end(), typed.begin(), typed.end());
        PutBig32(file, static_cast<std::uint32_t>(
                           crc32(0, typed.data(), static_cast<unsigned>(typed.size()))));
    };
    Bytes ihdr;
    PutBig32(ihdr, width);
    PutBig32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IEND", {});
    return file;
}

TEST(PngSuite, DamagedFilesAreRefusedWithAReason) {
    const Bytes good = testimg::ReadFileBytes(TW_PNG_CORPUS_DIR "/basn2c08.png");
    if (good.empty()) {
        GTEST_SKIP() << "no PNG suite at " << TW_PNG_CORPUS_DIR;
    }
    Bytes bmp;
    std::string error;
    ASSERT_TRUE(Decode(good, bmp, error));
    // The IDAT chunk's data starts after the signature, IHDR (25 bytes) and its own header.
    const Bytes cutIdat(good.begin(), good.begin() + 33 + 8 + 40);
    Bytes noIend(good.begin(), good.end() - 12);
    for (const auto& [file, reason] : std::vector<std::pair<Bytes, std::string>>{
             {Changed(good, 8 + 8 + 3, 0x55), "checksum"}, // a byte of IHDR's width
             {Changed(good, -1, 0), "checksum"},           // IEND's CRC
             {cutIdat, "cut short"},
             {noIend, "cut short"},
             {HeaderOnly(0, 32), "no pixels or too many"},
             {HeaderOnly(100000, 100000), "no pixels or too many"},
             {Bytes(good.begin(), good.begin() + 8), "cut short"},
         }) {
        SCOPED_TRACE(reason);
        EXPECT_FALSE(Decode(file, bmp, error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    // A signature that is not PNG's: the file is no PNG, and the conversions refuse it.
    EXPECT_EQ(cli::KindOf(good.data(), 7), cli::ImageKind::Bmp);
    testimg::VectorBlock block{Changed(good, 1, 'Q')};
    EXPECT_EQ(block.Exact().outcome, quantize::Outcome::UnsupportedLayout);
}

// A progressive JPEG of 24 x 16 pixels as libjpeg writes it (10 scans).
Bytes ProgressiveJpeg() {
    jpeg_compress_struct jpeg;
    jpeg_error_mgr errors;
    jpeg.err = jpeg_std_error(&errors);
    jpeg_create_compress(&jpeg);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&jpeg, &out, &size);
    jpeg.image_width = 24;
    jpeg.image_height = 16;
    jpeg.input_components = 3;
    jpeg.in_color_space = JCS_RGB;
    jpeg_set_defaults(&jpeg);
    jpeg_simple_progression(&jpeg);
    jpeg_start_compress(&jpeg, TRUE);
    std::uint8_t row[24 * 3];
    for (int y = 0; y < 16; ++y) {
        for (int i = 0; i < 24 * 3; ++i) {
            row[i] = static_cast<std::uint8_t>(i * 5 + y * 11);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&jpeg, rows, 1);
    }
    jpeg_finish_compress(&jpeg);
    jpeg_destroy_compress(&jpeg);
    Bytes file(out, out + size);
    std::free(out);
    return file;
}

// A JPEG file cut short, or of more scans than any encoder writes, is refused from its
// markers, before the decoder makes room for its image (and, for a progressive one, reads
// every scan into the coefficients of the whole image). The limit is 300 scans.
TEST(JpegFiles, CutShortAndEndlessFilesAreRefusedBeforeDecoding) {
    const Bytes good = ProgressiveJpeg();
    Bytes bmp;
    std::string error;
    ASSERT_TRUE(Decode(good, bmp, error)) << error;
    for (std::size_t length = 3; length < good.size(); ++length) {
        EXPECT_FALSE(Decode(Bytes(good.begin(), good.begin() + length), bmp, error));
        ASSERT_EQ(error, "not a JPEG image that can be read: the JPEG file is cut short") << length;
    }
    // The last scan again and again: 10 + 290 scans are still read (and found damaged, as
    // the scans make no sense together), 10 + 291 are too many.
    const std::size_t lastScan = [&good] {
        for (std::size_t at = good.size() - 4; at > 0; --at) {
            if (good[at] == 0xFF && good[at + 1] == 0xDA) {
                return at;
            }
        }
        return std::size_t{0};
    }();
    ASSERT_GT(lastScan, 0u);
    for (const int extra : {290, 291}) {
        Bytes many(good.begin(), good.end() - 2);
        for (int i = 0; i < extra; ++i) {
            many.insert(many.end(), good.begin() + static_cast<std::ptrdiff_t>(lastScan),
                        good.end() - 2);
        }
        many.insert(many.end(), {0xFF, 0xD9});
        EXPECT_FALSE(Decode(many, bmp, error));
        EXPECT_EQ(error.find("more than 300 scans") != std::string::npos, extra == 291) << error;
    }
}

// Transparency: composited onto white, or with a key colour, fully transparent pixels become
// that colour.
TEST(PngSuite, TransparencyGoesOntoWhiteOrBecomesTheKeyColour) {
    const Bytes file = testimg::ReadFileBytes(TW_PNG_CORPUS_DIR "/basn6a08.png");
    if (file.empty()) {
        GTEST_SKIP() << "no PNG suite at " << TW_PNG_CORPUS_DIR;
    }
    Bytes white, keyed;
    std::string error;
    image::AlphaRule rule;
    rule.keyed = true;
    rule.key[0] = 1, rule.key[1] = 2, rule.key[2] = 3;
    ASSERT_TRUE(Decode(file, white, error));
    ASSERT_TRUE(Decode(file, keyed, error, rule));
    int keys = 0, differ = 0;
    for (std::size_t i = bmp::kHeadersSize; i + 2 < white.size(); i += 3) {
        const bool key = keyed[i] == 1 && keyed[i + 1] == 2 && keyed[i + 2] == 3;
        keys += key;
        differ += !key && std::memcmp(&keyed[i], &white[i], 3) != 0;
    }
    EXPECT_GT(keys, 0); // the suite's image has fully transparent pixels
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(image::OntoWhite(0, 0), 255);
    EXPECT_EQ(image::OntoWhite(100, 255), 100);
    EXPECT_EQ(image::OntoWhite(0, 128), 127);
    EXPECT_EQ(image::RoundTo8(0x8000), 128); // 127.5 levels and a little more
    EXPECT_EQ(image::RoundTo8(0x7FFF), 127);
}

// Reads back a written PNG with libpng: its palette (with alpha) and its indices, top first.
struct ReadBack {
    png_image image;
    Bytes indices, colours;
};
bool ReadIndexed(const Bytes& png, ReadBack& out) {
    std::memset(&out.image, 0, sizeof out.image);
    out.image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&out.image, png.data(), png.size())) {
        return false;
    }
    out.image.format = PNG_FORMAT_RGBA_COLORMAP;
    out.indices.resize(PNG_IMAGE_SIZE(out.image));
    out.colours.resize(PNG_IMAGE_COLORMAP_SIZE(out.image));
    return png_image_finish_read(&out.image, nullptr, out.indices.data(), 0, out.colours.data()) !=
           0;
}

// An image written as PNG reads back to its indices (8 bits, or packed at 4, 2 and 1; rows
// padded, bottom-up or top-down) and its `entries` palette entries, entry 0 transparent with a
// key; rows without repeats are deflated at level 5, a graphic's runs at 9. A plain 24-bit BMP
// viewed as an image is written as RGB and reads back to its pixels; one cut short is none.
TEST(PngWriter, AnImageReadsBackToItsIndicesAndPalette) {
    const std::uint8_t picture[2][3] = {{1, 2, 3}, {0, 3, 1}}; // top row first
    Bytes png;
    std::string error;
    for (const int bits : {8, 4, 2, 1}) {
        SCOPED_TRACE(bits);
        quantize::IndexedImage image;
        image.width = 3, image.rows = 2, image.stride = 8, image.bits = bits;
        image.entries = bits == 1 ? 2 : 4, image.key = true, image.topDown = bits == 4 || bits == 1;
        std::iota(image.table.begin(), image.table.end(), std::uint8_t{9});
        Bytes stored(16, 0);
        const int mask = (1 << bits) - 1;
        for (int i = 0; i < 6; ++i) { // high bits first
            const int y = image.topDown ? i / 3 : 1 - i / 3, shift = 8 - bits - i % 3 * bits % 8;
            stored[static_cast<std::size_t>(8 * y + i % 3 * bits / 8)] |=
                static_cast<std::uint8_t>((picture[i / 3][i % 3] & mask) << shift);
        }
        image.indices = stored.data();
        ASSERT_TRUE(cli::EncodePng(image, png, error)) << error;
        ReadBack back;
        ASSERT_TRUE(ReadIndexed(png, back));
        ASSERT_EQ(back.image.colormap_entries, static_cast<unsigned>(image.entries));
        for (std::size_t c = 0; c < back.colours.size(); ++c) { // red, green, blue, alpha
            EXPECT_EQ(back.colours[c], c % 4 < 3 ? image.table[c / 4 * 3 + c % 4] : (c > 3) * 255);
        }
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(back.indices[i], picture[i / 3][i % 3] & mask) << i;
        }
    }
    // How hard it was deflated, from the zlib header.
    const auto effort = [&](const std::uint8_t* indices, std::uint64_t width) {
        quantize::IndexedImage image;
        image.width = width, image.rows = 2, image.stride = width, image.indices = indices;
        EXPECT_TRUE(cli::EncodePng(image, png, error)) << error;
        const std::size_t idat = std::string(png.begin(), png.end()).find("IDAT");
        return idat == std::string::npos ? -1 : png[idat + 5] >> 6;
    };
    EXPECT_EQ(effort(&picture[0][0], 3), 1);
    EXPECT_EQ(effort(Bytes(16, 3).data(), 8), 3);
    // A true-colour image: RGB, read back to the same pixels (the header says no resolution).
    const Bytes rgb =
        testimg::Picture24(5, 3, [](int x, int y) { return x * 0x10203 + y * 0x302010; });
    EXPECT_FALSE(quantize::ViewPlainBmp(rgb.data(), rgb.size() - 1).has_value());
    const auto viewed = quantize::ViewPlainBmp(rgb.data(), rgb.size());
    ASSERT_TRUE(viewed && cli::EncodePng(*viewed, png, error)) << error;
    Bytes again;
    ASSERT_TRUE(Decode(png, again, error)) << error;
    EXPECT_EQ(Bytes(again.begin() + bmp::kHeadersSize, again.end()),
              Bytes(rgb.begin() + bmp::kHeadersSize, rgb.end()));
}

// An 8-bit result written in fewer bits: as a 1- or 4-bit BMP (a table of 2^bits entries, the
// rows packed and padded to whole words) and as a 1-, 2- or 4-bit PNG (its palette the entries
// up to the highest a pixel takes), each read back by the tool's own readers to the 8-bit
// image's colours, pixel for pixel, at widths whose last byte and last word are partly filled.
TEST(FewerBits, PackedFilesReadBackToTheEightBitImage) {
    std::vector<std::uint32_t> palette(256);
    for (std::size_t e = 0; e < palette.size(); ++e) {
        palette[e] = static_cast<std::uint32_t>(e * 0x9E3779B1u) & 0xFFFFFF;
    }
    std::mt19937 rng(7);
    std::string error;
    for (const int bits : {1, 2, 4}) {
        for (const int width : {1, 3, 5, 7, 9, 33}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << width << " wide");
            const int highest = (1 << bits) - 1 - (bits == 4); // 15 entries of 16 taken
            std::uniform_int_distribution<int> pick(0, highest);
            const Bytes eight = testimg::Picture8(width, 3, palette, [&](int x, int y) {
                return static_cast<std::uint8_t>(x + y == 0 ? highest : pick(rng));
            });
            Bytes expected;
            ASSERT_TRUE(bmp::ExpandIndexed(eight.data(), eight.size(), expected));
            ASSERT_EQ(quantize::HighestIndex(*quantize::ViewPlainBmp(eight.data(), eight.size())),
                      highest);
            EXPECT_EQ(quantize::BitsHolding(highest), bits);
            if (bits != 2) {
                Bytes file = eight;
                const auto view = quantize::ViewPlainBmp(file.data(), file.size());
                file.resize(
                    static_cast<std::size_t>(quantize::PackBmpInPlace(file.data(), *view, bits)));
                const std::uint64_t offset = bmp::kHeadersSize + (std::uint64_t{4} << bits);
                EXPECT_EQ(bmp::ReadU32(&file[bmp::kBfOffBits]), offset);
                EXPECT_EQ(bmp::ReadU32(&file[bmp::kBiClrUsed]), 1u << bits);
                EXPECT_EQ(bmp::ReadU16(&file[bmp::kBiBitCount]), bits);
                EXPECT_EQ(file.size(),
                          offset + 3 * bmp::StrideBytes(width, static_cast<std::uint16_t>(bits)));
                EXPECT_EQ(bmp::ReadU32(&file[bmp::kBfSize]), file.size());
                Bytes back;
                ASSERT_TRUE(bmp::ExpandIndexed(file.data(), file.size(), back));
                EXPECT_EQ(back, expected);
            }
            Bytes rows = eight;
            auto packed = quantize::PackInPlace(*quantize::ViewPlainBmp(rows.data(), rows.size()),
                                                rows.data() + bmp::k8BitPixelData, bits);
            packed.entries = highest + 1;
            Bytes png, back;
            ASSERT_TRUE(cli::EncodePng(packed, png, error)) << error;
            EXPECT_EQ(png[24], bits); // IHDR's bit depth
            ASSERT_TRUE(Decode(png, back, error)) << error;
            EXPECT_EQ(Bytes(back.begin() + bmp::kHeadersSize, back.end()),
                      Bytes(expected.begin() + bmp::kHeadersSize, expected.end()));
            ReadBack indexed;
            ASSERT_TRUE(ReadIndexed(png, indexed));
            EXPECT_EQ(indexed.image.colormap_entries, static_cast<unsigned>(highest + 1));
        }
    }
}

// The stream deflated in two halves inflates to the bytes it was made of (zlib checks the
// joined Adler-32 too), and is hardly longer than zlib's own, on either side of the size from
// which it is split and with the second half reaching back into the first.
TEST(Deflate, TheHalvesJoinIntoTheStreamOfTheWhole) {
    std::vector<std::uint8_t> data(1 << 20);
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < data.size(); ++i) {
        state = state * 1103515245u + 12345u;
        // Runs and repeats a few KB back, as dithered rows have, and noise.
        data[i] = i % 7000 < 3000 ? static_cast<std::uint8_t>(state >> 29)
                  : i >= 5000     ? data[i - 5000]
                                  : static_cast<std::uint8_t>(i);
    }
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{256 * 1024 - 1},
                                   std::size_t{256 * 1024}, data.size()}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> stream{0xAB}; // appended to what is there
        ASSERT_TRUE(cli::DeflateInTwo(data.data(), size, 5, stream));
        ASSERT_EQ(stream[0], 0xAB);
        std::vector<std::uint8_t> back(size + 1);
        uLongf length = back.size();
        ASSERT_EQ(uncompress(back.data(), &length, stream.data() + 1, stream.size() - 1), Z_OK);
        ASSERT_EQ(length, size);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + size, back.begin()));
        std::vector<std::uint8_t> whole(compressBound(size));
        uLongf wholeLength = whole.size();
        ASSERT_EQ(compress2(whole.data(), &wholeLength, data.data(), size, 5), Z_OK);
        EXPECT_LE(stream.size() - 1, wholeLength + 64);
        EXPECT_EQ(stream[1] << 8 | stream[2], whole[0] << 8 | whole[1]);
    }
}

} // namespace
