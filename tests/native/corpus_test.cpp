// Every file of the BMP test suite (good, questionable and bad files) through the portable
// code that reads file bytes: the drawing plan, both conversions and palette decoding.
// Built with AddressSanitizer in the native-asan preset, where any read or write outside a
// file's bytes stops the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "core/bmp/layout.h"
#include "core/bmp/packed_dib.h"
#include "core/bmp/rle.h"
#include "core/palette/palette_file.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/literal_layout.h"
#include "tests/support/temp_folder.h"

namespace {

using testimg::Bytes;

TEST(Corpus, EveryFileIsReadSafelyAndRefusalsChangeNothing) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    int converted = 0, drawn = 0, runLength = 0, expanded = 0;
    std::set<std::string> names; // of the files that converted
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const Bytes file = testimg::ReadFileBytes(name);

        // The drawing plan: whatever it promises must lie inside the file.
        const auto plan = bmp::PlanDrawing(file.data(), file.size());
        if (plan.drawable && plan.runLength) {
            std::vector<std::uint8_t> unpacked;
            bmp::UnpackRle(file.data() + plan.pixelOffset, file.size() - plan.pixelOffset,
                           plan.bitCount, plan.width, plan.height, unpacked);
            EXPECT_EQ(unpacked.size(), bmp::StrideBytes(plan.width, 8) * plan.height);
            ++runLength;
        } else if (plan.drawable) {
            ++drawn;
            const std::uint64_t rows = plan.scanLines * bmp::StrideBytes(plan.width, plan.bitCount);
            ASSERT_LE(plan.pixelOffset + rows, file.size());
            if (plan.inPlace) {
                ASSERT_LE(plan.tableOffset + 4ull * plan.colourCount, file.size());
            } else {
                ASSERT_LE(plan.tableOffset + 4ull * plan.colourCount, plan.info.size());
            }
            unsigned sum = 0;
            for (std::uint64_t i = 0; i < rows; ++i) {
                sum += file[plan.pixelOffset + i];
            }
            (void)sum;
        }

        // A refusal changes nothing; a conversion gives the bytes of converting the plain
        // 24-bit file of the same pixels.
        // A block of exactly the file's size, so that the sanitizer sees any access past it.
        const auto convert = [](const Bytes& bytes, bool exact, Bytes& out) {
            testimg::VectorBlock block{bytes};
            block.tight = true;
            block.bytes.shrink_to_fit();
            const Bytes table(1024, 0x5A);
            const auto result =
                exact ? block.Exact() : block.Diffuse({10, table.data(), quantize::kBasicPalette});
            EXPECT_EQ(block.bytes.size(), result.newSize);
            out = block.bytes;
            return result.outcome;
        };
        for (const bool exact : {true, false}) {
            Bytes result;
            const quantize::Outcome outcome = convert(file, exact, result);
            if (!exact) { // the program's check before its question gives the run's refusal
                EXPECT_EQ(quantize::CheckDiffusionSource(file.data(), file.size(),
                                                         quantize::kBasicDiffusion),
                          outcome);
            }
            if (outcome != quantize::Outcome::Converted) {
                EXPECT_EQ(result, file);
                continue;
            }
            converted += exact ? 0 : 1;
            names.insert(std::filesystem::path(name).filename().string());
            EXPECT_EQ(bmp::ReadU16(&result[bmp::kBiBitCount]), 8);
            Bytes plainResult;
            EXPECT_EQ(convert(literal::Plain24Of(file), exact, plainResult),
                      quantize::Outcome::Converted);
            EXPECT_EQ(result, plainResult);
        }

        // Indexed images expand into the plain 24-bit image the high-quality method converts.
        Bytes plain;
        if (bmp::ExpandIndexed(file.data(), file.size(), plain)) {
            ++expanded;
            EXPECT_EQ(plain.size(),
                      bmp::kHeadersSize + bmp::StrideBytes(plan.width, 24) * std::abs(plan.height));
        }

        std::uint8_t palette[1024] = {};
        palette::DecodePaletteFile(file.data(), file.size(), true, palette);
        palette::DecodePaletteFile(file.data(), file.size(), false, palette);
    }
    // The true-colour files other tools write all convert.
    for (const char* name :
         {"rgb24.bmp", "rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp", "rgb16.bmp",
          "rgb16-565.bmp", "rgb16bfdef.bmp", "rgb24prof.bmp", "rgb24lprof.bmp", "rgb32-xbgr.bmp",
          "rgb32h52.bmp", "rgb32fakealpha.bmp"}) {
        EXPECT_EQ(names.count(name), 1u) << name;
    }
    EXPECT_GE(converted, 13);
    EXPECT_GE(expanded, 20);
}

Bytes ExpandedPixels(const std::string& name, bool reverseRows = false) {
    const Bytes file = testimg::ReadFileBytes(std::string(TW_CORPUS_DIR) + "/g/" + name);
    Bytes plain;
    EXPECT_TRUE(bmp::ExpandIndexed(file.data(), file.size(), plain)) << name;
    if (plain.size() < bmp::kHeadersSize) {
        return {};
    }
    const std::size_t stride = bmp::StrideBytes(bmp::ReadS32(&plain[bmp::kBiWidth]), 24);
    Bytes rows(plain.begin() + bmp::kHeadersSize, plain.end());
    if (reverseRows) {
        for (std::size_t a = 0, b = rows.size() - stride; a < b; a += stride, b -= stride) {
            std::swap_ranges(rows.begin() + a, rows.begin() + a + stride, rows.begin() + b);
        }
    }
    return rows;
}

// One picture stored in several indexed ways expands to the same pixels.
TEST(Corpus, IndexedLayoutsOfOnePictureExpandAlike) {
    if (testimg::CorpusFiles(TW_CORPUS_DIR).empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    const Bytes pal8 = ExpandedPixels("pal8.bmp");
    ASSERT_EQ(pal8.size(), 64u * bmp::StrideBytes(127, 24));
    for (const char* name : {"pal8rle.bmp", "pal8os2.bmp", "pal8v4.bmp", "pal8v5.bmp"}) {
        EXPECT_EQ(ExpandedPixels(name), pal8) << name;
    }
    EXPECT_EQ(ExpandedPixels("pal8topdown.bmp", true), pal8);
    EXPECT_EQ(ExpandedPixels("pal4rle.bmp"), ExpandedPixels("pal4.bmp"));
}

// Every drawable file's packed bitmap (the clipboard's form) reads back as a file image of the
// same rows and colour table; 8-bit stays 8-bit, run-length pixels arrive unpacked.
TEST(Corpus, EveryDrawableFileTravelsThroughTheClipboardUnchanged) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    int travelled = 0;
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const Bytes file = testimg::ReadFileBytes(name);
        const auto plan = bmp::PlanDrawing(file.data(), file.size());
        Bytes dib, back;
        ASSERT_EQ(bmp::PackedDibOf(file.data(), file.size(), dib), plan.drawable);
        if (!plan.drawable) {
            continue;
        }
        ASSERT_TRUE(bmp::FileOfPackedDib(dib.data(), dib.size(), back));
        const auto again = bmp::PlanDrawing(back.data(), back.size());
        ASSERT_TRUE(again.drawable);
        ASSERT_TRUE(again.inPlace);
        EXPECT_EQ(again.width, plan.width);
        EXPECT_EQ(again.height < 0 ? -again.height : again.height,
                  static_cast<std::int32_t>(plan.scanLines));
        EXPECT_EQ(again.bitCount, plan.runLength ? 8 : plan.bitCount);
        EXPECT_EQ(again.colourCount, plan.colourCount);
        const std::uint8_t* table =
            plan.inPlace ? file.data() + plan.tableOffset : plan.info.data() + plan.tableOffset;
        EXPECT_TRUE(
            std::equal(table, table + 4 * plan.colourCount, back.data() + again.tableOffset));
        Bytes rows(file.begin() + static_cast<std::ptrdiff_t>(plan.pixelOffset), file.end());
        if (plan.runLength) {
            bmp::UnpackRle(file.data() + plan.pixelOffset, file.size() - plan.pixelOffset,
                           plan.bitCount, plan.width, plan.height, rows);
        }
        const std::uint64_t length = bmp::StrideBytes(again.width, again.bitCount) * plan.scanLines;
        ASSERT_LE(again.pixelOffset + length, back.size());
        EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(length),
                               back.begin() + static_cast<std::ptrdiff_t>(again.pixelOffset)));
        ++travelled;
    }
    EXPECT_GT(travelled, 50);
}

// A packed bitmap whose header is unknown or whose colour table or masks would reach past its
// data is no image.
TEST(PackedDib, HeadersThatDoNotFitTheDataAreRefused) {
    Bytes file, dib(124, 0);
    bmp::WriteU32(dib.data(), 124); // a version 5 header: the masks are inside it
    bmp::WriteU16(&dib[14], 32);
    bmp::WriteU32(&dib[16], 3);
    ASSERT_TRUE(bmp::FileOfPackedDib(dib.data(), dib.size(), file));
    EXPECT_EQ(bmp::ReadU32(&file[bmp::kBfOffBits]), 14u + 124u);
    EXPECT_EQ(file.size(), 14u + 124u);

    dib.assign(40 + 12, 0); // a 40-byte header with its three masks after it
    bmp::WriteU32(dib.data(), 40);
    bmp::WriteU16(&dib[14], 16);
    bmp::WriteU32(&dib[16], 3);
    ASSERT_TRUE(bmp::FileOfPackedDib(dib.data(), dib.size(), file));
    EXPECT_EQ(bmp::ReadU32(&file[bmp::kBfOffBits]), 14u + 52u);
    EXPECT_FALSE(bmp::FileOfPackedDib(dib.data(), 40 + 11, file));

    bmp::WriteU16(&dib[14], 8); // 256 entries the data does not hold
    bmp::WriteU32(&dib[16], 0);
    EXPECT_FALSE(bmp::FileOfPackedDib(dib.data(), dib.size(), file));
    bmp::WriteU32(&dib[32], 3); // three do
    EXPECT_TRUE(bmp::FileOfPackedDib(dib.data(), dib.size(), file));
    bmp::WriteU32(dib.data(), 41);
    EXPECT_FALSE(bmp::FileOfPackedDib(dib.data(), dib.size(), file));
    bmp::WriteU32(dib.data(), 124);
    EXPECT_FALSE(bmp::FileOfPackedDib(dib.data(), dib.size(), file)); // shorter than its header
}

} // namespace
