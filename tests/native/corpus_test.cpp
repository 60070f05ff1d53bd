// Every file of the BMP test suite (good, questionable and bad files) through the portable
// code that reads file bytes: the drawing plan, both conversions and palette decoding.
// Built with AddressSanitizer in the native-asan preset, where any read or write outside a
// file's bytes stops the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/bmp/layout.h"
#include "core/bmp/rle.h"
#include "core/palette/palette_file.h"
#include "core/reduce/basic_palette.h"
#include "core/reduce/error_diffusion.h"
#include "core/reduce/exact_reduction.h"
#include "tests/support/bmp_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::filesystem::path> CorpusFiles() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path root = TW_CORPUS_DIR;
    if (!std::filesystem::is_directory(root)) {
        return files;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && entry.path().extension() == ".bmp") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A block of exactly the file's size, so that the sanitizer sees any access past it.
reduce::Resizer VectorResizer(Bytes& bytes) {
    return [&bytes](std::uint64_t size) {
        if (size > (std::uint64_t{1} << 30)) {
            return reduce::ResizeResult{bytes.data(), false};
        }
        bytes.resize(size);
        bytes.shrink_to_fit();
        return reduce::ResizeResult{bytes.data(), true};
    };
}

TEST(Corpus, EveryFileIsReadSafelyAndRefusalsChangeNothing) {
    const auto files = CorpusFiles();
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    int converted = 0, drawn = 0, runLength = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), {});

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

        Bytes exact = file;
        exact.shrink_to_fit();
        const auto exactResult =
            reduce::ReduceExact(exact.data(), exact.size(), VectorResizer(exact));
        if (exactResult.outcome == reduce::Outcome::Converted) {
            EXPECT_EQ(exact.size(), exactResult.newSize);
            EXPECT_EQ(bmp::ReadU16(&exact[bmp::kBiBitCount]), 8);
        } else {
            EXPECT_EQ(exact, file);
        }

        Bytes diffused = file;
        diffused.shrink_to_fit();
        testimg::NoReports quiet;
        const Bytes table(1024, 0x5A);
        const reduce::DiffusionInput input{10, table.data(), reduce::kBasicPalette};
        const auto diffusion = reduce::DiffuseImage(diffused.data(), diffused.size(),
                                                    VectorResizer(diffused), input, quiet);
        if (diffusion.outcome == reduce::Outcome::Converted) {
            ++converted;
            EXPECT_EQ(diffused.size(), diffusion.newSize);
        } else {
            EXPECT_EQ(diffused, file);
        }
        // Only plain 24-bit images convert.
        if (exactResult.outcome == reduce::Outcome::Converted ||
            diffusion.outcome == reduce::Outcome::Converted) {
            EXPECT_EQ(bmp::ReadU16(&file[bmp::kBiBitCount]), 24);
            EXPECT_EQ(bmp::ReadU32(&file[bmp::kBiSize]), 40u);
        }

        std::uint8_t palette[1024] = {};
        palette::DecodePaletteFile(file.data(), file.size(), true, palette);
        palette::DecodePaletteFile(file.data(), file.size(), false, palette);
    }
    EXPECT_GT(converted, 0); // g/rgb24.bmp at least
}

} // namespace
