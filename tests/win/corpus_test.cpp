// Every file of the BMP test suite through the program: loaded, painted, and put through
// both conversions by their menu commands. Nothing may crash or hang; a refused conversion
// leaves the document as it was.
#include <gtest/gtest.h>

#include "document/file_commands.h"
#include "document/image_buffer.h"
#include "document/main_window.h"
#include "reduce/diffusion_command.h"
#include "res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    for (const char* folder : {"g", "q", "b"}) {
        const std::string dir = std::string(TW_CORPUS_DIR) + "/" + folder + "/";
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "*.bmp").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            files.push_back(dir + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return files;
}

TEST(CorpusInTheProgram, EveryFileLoadsPaintsAndConvertsOrIsRefused) {
    const auto files = CorpusFiles();
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << TW_CORPUS_DIR;
    }
    ResetSeams();
    ResetDocument();
    Seams.messageAnswer = IDNO; // no fixed palette; every other box is just closed
    HWND window = CreateMainWindow(300, 200);
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        Seams.messages.clear();
        std::snprintf(CurrentFileName, MAX_PATH, "%s", path.c_str());
        ASSERT_TRUE(LoadCurrentFile(window, false));
        UpdateWindow(window);
        PumpPending();
        const Bytes loaded = DocumentBytes();

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
    ResetDocument();
    PumpPending();
}

} // namespace
