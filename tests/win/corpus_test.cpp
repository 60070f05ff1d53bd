// Every file of the BMP test suite through the program: loaded, painted, and put through
// both conversions by their menu commands. Nothing may crash or hang; a refused conversion
// leaves the document as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "win/app/settings.h"
#include "win/document/document.h"
#include "win/res/resource.h"
#include "tests/support/corpus.h"
#include "tests/win/test_support.h"

namespace {

class CorpusInTheProgram : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(300, 200);
    }
    // The top-left width x height pixels the file paints, row by row.
    std::vector<std::uint32_t> Painted(const std::string& path, int width, int height) {
        EXPECT_TRUE(Open(path)) << path;
        const Capture shot = Paint();
        std::vector<std::uint32_t> picture;
        for (int y = 0; y < height; ++y) {
            const auto row = shot.pixels.begin() + y * shot.width;
            picture.insert(picture.end(), row, row + width);
        }
        return picture;
    }
};

TEST_F(CorpusInTheProgram, EveryFileLoadsPaintsAndConvertsOrIsRefused) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    Seams.messageAnswer = IDNO; // no fixed palette; every other box is just closed
    NoUnsavedPrompt = 1;        // リロード after a conversion restores the file unasked
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(Open(path));
        Paint();
        const Bytes loaded = DocumentBytes();
        Seams.messages.clear(); // why it cannot be shown, for some

        Command(IDM_REDUCE_EXACT);
        if (!Seams.messages.empty()) {
            EXPECT_EQ(DocumentBytes(), loaded);
        }
        Paint();

        Command(IDM_RELOAD);
        Seams.messages.clear();
        Diffuse();
        const auto told = Told();
        if (told.empty() || told.back() != "終わり") {
            EXPECT_EQ(DocumentBytes(), loaded);
        }
    }
}

TEST_F(CorpusInTheProgram, EveryLayoutOfOnePictureIsDrawnAlike) {
    const std::string good = std::string(TW_CORPUS_DIR) + "/g/";
    if (!Exists(good + "pal8.bmp")) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    const struct {
        const char* reference;
        std::vector<const char*> variants;
    } families[] = {
        {"pal8.bmp",
         {"pal8-0.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp", "pal8os2.bmp",
          "pal8rle.bmp"}},
        {"pal4.bmp", {"pal4gs.bmp", "pal4rle.bmp"}},
        {"rgb24.bmp", {"rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp"}},
        {"rgb16.bmp", {"rgb16bfdef.bmp"}},
    };
    for (const auto& family : families) {
        const auto reference = Painted(good + family.reference, 127, 64);
        // The reference itself is a picture, not the window's background.
        EXPECT_NE(std::count(reference.begin(), reference.end(), reference[0]),
                  static_cast<std::ptrdiff_t>(reference.size()))
            << family.reference;
        for (const char* variant : family.variants) {
            const auto picture = Painted(good + variant, 127, 64);
            if (std::string(variant) == "pal4gs.bmp") {
                // Grey levels of the same picture: same shapes, other colours.
                EXPECT_NE(picture, reference) << variant;
                continue;
            }
            EXPECT_EQ(picture, reference) << variant << " differs from " << family.reference;
        }
    }
}

} // namespace
