// Every file of the BMP test suite through the program: loaded, painted, and put through
// both conversions by their menu commands. Nothing may crash or hang; a refused conversion
// leaves the document as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "win/app/settings.h"
#include "win/document/file_commands.h"
#include "win/document/file_io.h"
#include "win/document/document.h"
#include "win/document/main_window.h"
#include "win/reduce/diffusion_command.h"
#include "win/res/resource.h"
#include "tests/support/corpus.h"
#include "tests/win/test_support.h"

namespace {

TEST(CorpusInTheProgram, EveryFileLoadsPaintsAndConvertsOrIsRefused) {
    const auto files = testimg::CorpusFiles(TW_CORPUS_DIR);
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    ResetSeams();
    ResetProgram();
    Seams.messageAnswer = IDNO; // no fixed palette; every other box is just closed
    NoUnsavedPrompt = 1;        // リロード after a conversion restores the file unasked
    HWND window = CreateMainWindow(300, 200);
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        Seams.messages.clear();
        std::snprintf(CurrentFileName, MAX_PATH, "%s", path.c_str());
        ASSERT_TRUE(LoadCurrentFile(window, false));
        UpdateWindow(window);
        PumpPending();
        const Bytes loaded = DocumentBytes();
        Seams.messages.clear(); // why it cannot be shown, for some

        SendMessageA(window, WM_COMMAND, IDM_REDUCE_EXACT, 0);
        if (!Seams.messages.empty()) {
            EXPECT_EQ(DocumentBytes(), loaded);
        }
        UpdateWindow(window);
        PumpPending();

        SendMessageA(window, WM_COMMAND, IDM_RELOAD, 0);
        Seams.messages.clear();
        SendMessageA(window, WM_COMMAND, IDM_REDUCE_DIFFUSE, 0);
        const DWORD start = GetTickCount();
        while (ConversionInProgress() && GetTickCount() - start < 30000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            PumpPending();
        }
        ASSERT_FALSE(ConversionInProgress());
        PumpPending();
        std::lock_guard<std::mutex> hold(SeamsLock);
        if (Seams.messages.empty() || Seams.messages.back().text != "終わり") {
            EXPECT_EQ(DocumentBytes(), loaded);
        }
    }
    DestroyWindow(window);
    ResetProgram();
    PumpPending();
}

// The picture a file paints in a fresh window, row by row, `width` x `height` pixels.
std::vector<std::uint32_t> Painted(const std::string& path, int width, int height) {
    HWND window = CreateMainWindow(300, 200);
    std::snprintf(CurrentFileName, MAX_PATH, "%s", path.c_str());
    EXPECT_TRUE(LoadCurrentFile(window, false));
    UpdateWindow(window);
    PumpPending();
    int clientWidth = 0, clientHeight = 0;
    const auto pixels = CaptureClient(window, clientWidth, clientHeight);
    std::vector<std::uint32_t> picture;
    for (int y = 0; y < height; ++y) {
        picture.insert(picture.end(), pixels.begin() + y * clientWidth,
                       pixels.begin() + y * clientWidth + width);
    }
    DestroyWindow(window);
    ResetProgram();
    PumpPending();
    return picture;
}

TEST(CorpusInTheProgram, EveryLayoutOfOnePictureIsDrawnAlike) {
    const std::string good = std::string(TW_CORPUS_DIR) + "/g/";
    if (GetFileAttributesA((good + "pal8.bmp").c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    ResetSeams();
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
        const auto background = reference[0];
        EXPECT_NE(std::count(reference.begin(), reference.end(), background),
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
