// Open, drop, reload, save and save as, with the dialogs and message boxes scripted and the
// files real, in a temporary folder.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bmp/layout.h"
#include "win/app/shell.h"
#include "win/app/settings.h"
#include "win/document/file_io.h"
#include "win/document/document.h"
#include "win/res/resource.h"
#include "tests/win/test_support.h"

namespace {

std::uint32_t Plain(int x, int y) {
    return static_cast<std::uint32_t>((x * 40) << 16 | (y * 30) << 8 | 0x55);
}
std::uint32_t Other(int x, int y) {
    return static_cast<std::uint32_t>((y * 9) << 16 | (x * 5) << 8 | 0x22);
}

const char* const kCannotReplace = "一時ファイル(.tmp)が既にあるか作れないため、上書きできません";
const char* const kSaveQuestion = "変更を保存しますか？";
const UINT kSaveQuestionType = MB_YESNOCANCEL | MB_ICONQUESTION;
const char* const kDiscardQuestion = "メモリが足りません\n今の画像を破棄して読み込みますか？";

// Records which commands reach the main window, then lets its own procedure handle them.
WNDPROC ProgramProc;
std::vector<int> Commands;
LRESULT CALLBACK ObserveCommands(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) {
        Commands.push_back(LOWORD(wp));
    }
    return CallWindowProcA(ProgramProc, w, m, wp, lp);
}

class FileCommands : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        OpenMainWindow(200, 150);
        Commands.clear();
        ProgramProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ObserveCommands)));
        first_ = Picture24(5, 3, Plain);
        second_ = Picture24(7, 2, Other);
        firstPath_ = Write(first_, "first.bmp");
        secondPath_ = Write(second_, "second.bmp");
    }
    // Changes the document in memory, as a conversion would.
    void Scribble() {
        auto* p = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
        p[60] ^= 0xFF;
        GlobalUnlock(ImageBuffer);
    }
    // True when the document and its name are still those of the first file.
    bool StillFirst(const Bytes& document) const {
        return DocumentBytes() == document && firstPath_ == CurrentFileName;
    }

    Bytes first_, second_;
    std::string firstPath_, secondPath_;
};

// The dialog's record; the file chosen is loaded; a cancelled dialog, which starts with the
// current name, changes nothing.
TEST_F(FileCommands, OpenAsksWithItsDialogAndCancelChangesNothing) {
    OpenWithDialog(firstPath_);
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    const auto& call = Seams.dialogs[0];
    EXPECT_TRUE(call.open);
    EXPECT_EQ(call.structSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
#ifndef _WIN64
    EXPECT_EQ(call.structSize, 76u);
#endif
    EXPECT_EQ(call.flags, 0x201804u);
    static const char filter[] = "画像 "
                                 "(*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff)\0*.bmp;*.png;*.jpg;"
                                 "*.jpeg;*.gif;*.tif;*.tiff\0"
                                 "BMP (*.bmp)\0*.bmp\0すべてのファイル\0*.*\0";
    EXPECT_EQ(call.filter, std::string(filter, sizeof filter));
    EXPECT_EQ(call.filterIndex, 1u);
    EXPECT_EQ(call.title, "開く");
    EXPECT_EQ(call.defExt, "bmp");
    EXPECT_EQ(call.maxFile, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(call.buffer, CurrentFileName);
    char directory[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, directory);
    EXPECT_EQ(call.initialDir, directory);

    EXPECT_TRUE(StillFirst(first_));
    EXPECT_EQ(ImageLoaded, 1);
    EXPECT_EQ(ImageBytes, first_.size());
    EXPECT_TRUE(Seams.messages.empty());

    Seams.dialogConfirms = false;
    Command(IDM_OPEN);
    EXPECT_TRUE(StillFirst(first_));
    EXPECT_EQ(Seams.dialogs[1].startName, firstPath_);
}

TEST_F(FileCommands, OpenWithKeepReadOnlyRefusesReadOnlyFiles) {
    KeepReadOnly = 1;
    Seams.dialogConfirms = false;
    Command(IDM_OPEN);
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    EXPECT_EQ(Seams.dialogs[0].flags, 0x209804u);
    // The dialog may let a read-only file through, and a drop never asks: the program
    // refuses it itself, keeping the document and its name.
    OpenWithDialog(firstPath_);
    ASSERT_TRUE(SetFileAttributesA(secondPath_.c_str(), FILE_ATTRIBUTE_READONLY));
    OpenWithDialog(secondPath_);
    EXPECT_TRUE(
        OnlyMessage("読み取り専用のファイルは開きません\n（オプション「Readonlyはさわらない」）"));
    Drop({secondPath_});
    EXPECT_EQ(Seams.messages.size(), 2u);
    EXPECT_TRUE(StillFirst(first_));
    KeepReadOnly = 0;
    OpenWithDialog(secondPath_);
    EXPECT_EQ(DocumentBytes(), second_);
    SetFileAttributesA(secondPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

DWORD WINAPI FourGigabytes(HANDLE, LPDWORD high) {
    *high = 1;
    return 0;
}

// A file that cannot be opened, is 4 GiB or more, or reads short is told, and the document,
// its block and its name stay: Save would otherwise write this image over the file that
// failed to load.
TEST_F(FileCommands, RefusedOpensKeepTheDocumentAndItsName) {
    OpenWithDialog(firstPath_);
    const HGLOBAL before = ImageBuffer;
    const struct {
        const char* text;
        std::string path;
        void (*arrange)();
    } cases[] = {
        {"ファイルが開けません", TempPath("missing.bmp"), [] {}},
        {"ファイルが大きすぎです", secondPath_, [] { Files.getSize = FourGigabytes; }},
        {"ファイルが読めません", secondPath_, [] { Files.read = fake::ShortRead; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ResetSeams();
        c.arrange();
        OpenWithDialog(c.path);
        EXPECT_TRUE(OnlyMessage(c.text));
        EXPECT_EQ(ImageBuffer, before);
        EXPECT_EQ(ImageLoaded, 1);
        EXPECT_TRUE(StillFirst(first_));
    }
}

// Memory for one image only: a new block is refused while the document holds one.
HGLOBAL WINAPI OneImageAtATime(UINT flags, SIZE_T size) {
    return ImageBuffer != nullptr ? nullptr : GlobalAlloc(flags, size);
}
// A file of 4 GiB less one byte, whose size reads as 0xFFFFFFFF, opened by a call that left
// an error code behind.
HANDLE WINAPI OpenLeavingAnError(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    HANDLE file = CreateFileA(name, access, share, sa, disposition, flags, templateFile);
    SetLastError(ERROR_ACCESS_DENIED);
    return file;
}
DWORD WINAPI AlmostFourGigabytes(HANDLE, LPDWORD high) {
    *high = 0;
    return 0xFFFFFFFF;
}

// A file no memory could hold leaves the document and its name: the largest file there can
// be (its size is no error, whatever the last error code says). In a 32-bit process releasing
// the image could not make room for it, so nothing is asked; a 64-bit one might, so it asks,
// and the user keeps the image. With memory for one image only, the old one goes only if the
// user agrees.
TEST_F(FileCommands, WithoutMemoryForTheNewImageTheOldOneGoesOnlyIfTheUserAgrees) {
    OpenWithDialog(firstPath_);
    Scribble(); // an unsaved conversion
    Bytes converted = DocumentBytes();
    Files.create = OpenLeavingAnError;
    Files.getSize = AlmostFourGigabytes;
    Files.allocate = fake::NoMemory;
#ifdef _WIN64
    Seams.messageAnswer = IDCANCEL;
    OpenWithDialog(secondPath_);
    EXPECT_TRUE(OnlyMessage(kDiscardQuestion, MB_OKCANCEL | MB_ICONQUESTION));
#else
    OpenWithDialog(secondPath_);
    EXPECT_TRUE(OnlyMessage("メモリが足りません"));
#endif
    EXPECT_TRUE(StillFirst(converted));
    ResetSeams();
    Command(IDM_RELOAD); // the user's file, not the one that failed
    EXPECT_EQ(DocumentBytes(), first_);

    Scribble();
    converted = DocumentBytes();
    Files.allocate = OneImageAtATime;
    Seams.messageAnswer = IDCANCEL;
    OpenWithDialog(secondPath_);
    EXPECT_TRUE(OnlyMessage(kDiscardQuestion, MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_TRUE(StillFirst(converted));
    Seams.messages.clear();
    Seams.messageAnswer = IDOK;
    OpenWithDialog(secondPath_);
    EXPECT_EQ(Seams.messages.size(), 1u);
    EXPECT_EQ(DocumentBytes(), second_);
    EXPECT_STREQ(CurrentFileName, secondPath_.c_str());
}

// Any file is loaded, whatever its header says; one that cannot be shown says why. (A PNG,
// whole or damaged, goes to the image codecs instead: see the image tests.)
TEST_F(FileCommands, AFileThatCannotBeShownIsLoadedAndSaysWhy) {
    const struct {
        Bytes bytes;
        const char* why;
    } files[] = {
        {{}, "ファイルが空のため表示できません"},
        {{'X', 'Y', 0, 1, 2, 3, 4, 5, 6}, "BMPファイルではないため表示できません"},
        {Bytes(first_.begin(), first_.begin() + 40),
         "ファイルが途中で切れているため表示できません"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.why);
        Seams.messages.clear();
        const std::string path = Write(file.bytes, "unshown.bmp");
        OpenWithDialog(path);
        EXPECT_TRUE(OnlyMessage(file.why));
        EXPECT_EQ(DocumentBytes(), file.bytes); // loaded all the same, as always
        EXPECT_EQ(ImageBytes, file.bytes.size());
        EXPECT_STREQ(CurrentFileName, path.c_str());
        UpdateWindow(window_); // paints nothing, reads nothing past the file's bytes
    }
}

// Tells the length of the first name, then fails to copy it, leaving a part behind.
UINT WINAPI LengthOnly(HDROP drop, UINT index, char* name, UINT capacity) {
    if (name == nullptr) {
        return DragQueryFileA(drop, index, name, capacity);
    }
    std::strcpy(name, "C:");
    return 0;
}

// Only the first file counts; a drop that fails, or whose name cannot be read, keeps the
// document and its name; every drop is finished.
TEST_F(FileCommands, DropLoadsOnlyTheFirstFileAndAlwaysFinishesTheDrop) {
    Drop({secondPath_, firstPath_, firstPath_});
    EXPECT_EQ(DocumentBytes(), second_);
    EXPECT_STREQ(CurrentFileName, secondPath_.c_str());
    EXPECT_EQ(Seams.dropsFinished, 1);

    Drop({TempPath("nothing.bmp"), firstPath_});
    EXPECT_TRUE(OnlyMessage("ファイルが開けません"));
    EXPECT_EQ(DocumentBytes(), second_);
    EXPECT_EQ(Seams.dropsFinished, 2);

    OpenWithDialog(firstPath_);
    QueryDroppedFile = LengthOnly;
    Drop({secondPath_});
    EXPECT_TRUE(StillFirst(first_));
    EXPECT_EQ(Seams.dropsFinished, 3);
}

TEST_F(FileCommands, AutoReduceFollowsOpenAndDropButNotReload) {
    AutoReduce = 1;
    NoUnsavedPrompt = 1; // each reduction is unsaved: the question has tests of its own
    OpenWithDialog(firstPath_);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(DocumentBytes()[bmp::kBiBitCount], 8); // converted at once
    Drop({secondPath_});
    Command(IDM_RELOAD);
    const std::vector<int> expected = {IDM_OPEN, IDM_REDUCE_EXACT, IDM_REDUCE_EXACT, IDM_RELOAD};
    EXPECT_EQ(Commands, expected);
    EXPECT_EQ(DocumentBytes(), second_); // the file as it is on disk

    // A refusal shows its message right after the load.
    OpenWithDialog(Write(
        Picture24(300, 1, [](int x, int) { return static_cast<std::uint32_t>(x) * 0x000101u; }),
        "many.bmp"));
    EXPECT_TRUE(OnlyMessage("２５６色以上使用しています", MB_ICONERROR));

    Commands.clear();
    AutoReduce = 0;
    OpenWithDialog(firstPath_);
    EXPECT_EQ(Commands, std::vector<int>{IDM_OPEN});
}

// Before any load, the commands that read, write or convert the document show nothing, ask
// nothing and touch no file, even with a name set.
TEST_F(FileCommands, CommandsWithoutAnImageDoNothing) {
    std::snprintf(CurrentFileName, MAX_PATH, "%s", firstPath_.c_str());
    for (const int id : {IDM_RELOAD, IDM_SAVE, IDM_SAVEAS, IDM_REDUCE_EXACT, IDM_REDUCE_DIFFUSE,
                         IDM_REDUCE_DIFFUSE_HQ}) {
        Command(id);
        EXPECT_FALSE(ConversionInProgress()) << id;
    }
    EXPECT_EQ(ImageLoaded, 0);
    EXPECT_EQ(ImageBuffer, nullptr);
    EXPECT_TRUE(Seams.dialogs.empty());
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(OnDisk(firstPath_), first_);
    EXPECT_FALSE(Exists(firstPath_ + ".tmp"));
}

// Each way a save over the file can go wrong is told once, and the file keeps its bytes (and
// its read-only attribute) with no ".tmp" file left that the save made, except a safety copy
// that could not be deleted, which is named. Once the cause is gone, Save writes the
// document, silently, with no safety copy left.
TEST_F(FileCommands, SaveFailuresAreToldAndTheFileKeepsItsBytes) {
    const Bytes stale = {'o', 'l', 'd'};
    enum Left { kNothing, kStale, kTheFile };
    const struct {
        const char* what;
        std::function<void(const std::string& path)> arrange;
        std::string text;
        Left tmp;
    } cases[] = {
        {"read-only",
         [](const std::string& path) {
             ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
         },
         "上書き保存できません", kNothing},
        {"no create", [](const std::string&) { Files.create = fake::RefuseWriting; },
         "上書き保存できません", kNothing},
        {"no move aside", [](const std::string&) { Files.move = fake::RefuseToMove; },
         kCannotReplace, kNothing},
        {"safety name taken",
         [&](const std::string& path) { ASSERT_TRUE(WriteBytes(path + ".tmp", stale)); },
         kCannotReplace, kStale},
        {"write fails", [](const std::string&) { Files.write = fake::FailingWrite; },
         "書き込みに失敗しました", kNothing},
        {"half written", [](const std::string&) { Files.write = fake::HalfWrite; },
         "書き込みに失敗しました", kNothing},
        {"safety copy kept", [](const std::string&) { Files.remove = fake::RefuseToDelete; },
         "保存しましたが、元のファイルの控えを削除できませんでした：\n", kTheFile},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetSeams();
        const std::string path = Write(first_, "save" + std::to_string(n++) + ".bmp");
        const std::string safety = path + ".tmp";
        OpenWithDialog(path);
        Scribble();
        c.arrange(path);
        Command(IDM_SAVE);
        EXPECT_TRUE(OnlyMessage(c.tmp == kTheFile ? c.text + safety : c.text));
        EXPECT_EQ(OnDisk(path), c.tmp == kTheFile ? DocumentBytes() : first_);
        EXPECT_EQ((GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0,
                  std::string(c.what) == "read-only");
        EXPECT_EQ(Exists(safety), c.tmp != kNothing);
        if (c.tmp != kNothing) {
            EXPECT_EQ(OnDisk(safety), c.tmp == kStale ? stale : first_);
        }

        ResetSeams();
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(safety.c_str());
        Command(IDM_SAVE);
        EXPECT_TRUE(Seams.messages.empty());
        EXPECT_EQ(OnDisk(path), DocumentBytes());
        EXPECT_FALSE(Exists(safety));
    }
}

TEST_F(FileCommands, SaveAsWritesTheNewFileAndLaterSavesGoThere) {
    OpenWithDialog(firstPath_);
    const std::string target = Name("copy.bmp");
    const Bytes unrelated = {'k', 'e', 'e', 'p'};
    ASSERT_TRUE(WriteBytes(target + ".tmp", unrelated));
    Seams.dialogPath = target;
    Command(IDM_SAVEAS);
    ASSERT_EQ(Seams.dialogs.size(), 2u);
    const auto& call = Seams.dialogs[1];
    EXPECT_FALSE(call.open);
    EXPECT_EQ(call.flags, 0x208006u);
    EXPECT_EQ(call.title, "保存");
    static const char filter[] =
        "BMPファイル(BMP)\0*.BMP\0PNGファイル(PNG)\0*.png\0GIFファイル(GIF)\0*.gif\0"
        "すべてのファイル\0*.*\0";
    EXPECT_EQ(call.filter, std::string(filter, sizeof filter));
    EXPECT_EQ(call.filterIndex, 1u); // BMP for a .bmp name
    EXPECT_EQ(call.defExt, "bmp");
    EXPECT_EQ(call.initialDir, TempDir());
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(OnDisk(target), first_);
    // A ".tmp" file this save did not make is left alone.
    EXPECT_EQ(OnDisk(target + ".tmp"), unrelated);

    // While that file holds the safety name, Save refuses to overwrite; without it, Save
    // writes to the new name.
    Scribble();
    Command(IDM_SAVE);
    EXPECT_EQ(OnDisk(target), first_);
    ASSERT_TRUE(DeleteFileA((target + ".tmp").c_str()));
    Command(IDM_SAVE);
    EXPECT_EQ(OnDisk(target), DocumentBytes());
    EXPECT_EQ(OnDisk(firstPath_), first_);
}

// A refused Save as leaves the name, so that Save and Reload still mean the user's file, and
// the target as it was; a file that is not there yet needs no safety copy.
TEST_F(FileCommands, SaveAsRefusalsKeepTheNameAndTheTarget) {
    OpenWithDialog(firstPath_);
    Scribble();
    const std::string locked = Write(second_, "locked.bmp");
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    Seams.dialogPath = locked;
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage("保存できません"));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(OnDisk(locked), second_);
    EXPECT_STREQ(CurrentFileName, firstPath_.c_str());

    Seams.messages.clear();
    Files.create = fake::RefuseWriting;
    Seams.dialogPath = Name("elsewhere.bmp");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(OnlyMessage("保存できません"));
    EXPECT_FALSE(Exists(Seams.dialogPath));
    EXPECT_STREQ(CurrentFileName, firstPath_.c_str());

    ResetSeams();
    Files.move = fake::RefuseToMove;
    Seams.dialogPath = Name("new.bmp");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(OnDisk(Seams.dialogPath), DocumentBytes());
}

TEST_F(FileCommands, PathsWithoutRoomForTheSafetyNameAreRefused) {
    OpenWithDialog(firstPath_);
    std::string longName = TempDir() + "\\";
    longName.append(MAX_PATH - 4 - longName.size(), 'a'); // 256 bytes: ".tmp" would not fit
    std::snprintf(CurrentFileName, MAX_PATH, "%s", longName.c_str());
    Command(IDM_SAVE);
    EXPECT_TRUE(OnlyMessage("ファイル名が長すぎます"));
    char safety[MAX_PATH];
    EXPECT_FALSE(MakeSafetyName(longName.c_str(), safety));
    longName.pop_back();
    EXPECT_TRUE(MakeSafetyName(longName.c_str(), safety));
    EXPECT_EQ(std::strlen(safety), static_cast<size_t>(MAX_PATH - 1));
}

// The title names the file and marks unsaved work. Closing (閉じる or Esc, the caption
// button), opening, dropping, リロード and pasting over it ask 変更を保存しますか？ with はい as
// the default: キャンセル keeps everything, and so does はい when the save fails; いいえ
// discards; はい saves (Save's way) and goes on. With the option on nothing is asked.
TEST_F(FileCommands, UnsavedWorkIsSavedDiscardedOrKeptAsTheAnswerSays) {
    OpenWithDialog(firstPath_);
    EXPECT_EQ(Title(), TitleFor(firstPath_));
    Command(IDM_REDUCE_EXACT);
    const Bytes converted = DocumentBytes();
    ASSERT_EQ(converted[bmp::kBiBitCount], 8);
    EXPECT_EQ(Title(), TitleFor(firstPath_) + " *");
    Command(IDM_COPY); // for the paste

    const std::vector<std::function<void()>> ways = {
        [&] { Command(IDM_RELOAD); },
        [&] { OpenWithDialog(secondPath_); },
        [&] { Drop({secondPath_}); },
        [&] { Command(IDM_CLOSE); },
        [&] { SendMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [&] { Command(IDM_PASTE); },
    };
    for (const int answer : {IDCANCEL, IDYES}) {
        Files.write = fake::FailingWrite; // はい then finds the save failing
        for (std::size_t i = 0; i < ways.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "answer " << answer << ", way " << i);
            Seams.messages.clear();
            Seams.messageAnswer = answer;
            ways[i]();
            ASSERT_FALSE(Seams.messages.empty());
            EXPECT_EQ(Seams.messages[0].text, kSaveQuestion);
            EXPECT_EQ(Seams.messages[0].type, kSaveQuestionType);
            EXPECT_EQ(Seams.messages.size(), answer == IDYES ? 2u : 1u);
            EXPECT_TRUE(IsWindow(window_));
            EXPECT_TRUE(StillFirst(converted));
            EXPECT_EQ(OnDisk(firstPath_), first_);
        }
        Files.write = WriteFile;
    }
    // いいえ discards: リロード reads the file again, unmarked.
    Seams.messageAnswer = IDNO;
    Command(IDM_RELOAD);
    EXPECT_EQ(DocumentBytes(), first_);
    EXPECT_EQ(Title(), TitleFor(firstPath_));
    // はい saves over the file, then the drop goes on.
    Command(IDM_REDUCE_EXACT);
    Seams.messageAnswer = IDYES;
    Drop({secondPath_});
    EXPECT_EQ(OnDisk(firstPath_), converted);
    EXPECT_EQ(DocumentBytes(), second_);
    EXPECT_STREQ(CurrentFileName, secondPath_.c_str());

    // Saving clears the mark; with the option on nothing is asked.
    Command(IDM_REDUCE_EXACT);
    Seams.messages.clear();
    Seams.dialogPath = Name("saved.bmp");
    Command(IDM_SAVEAS);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(Title(), TitleFor(Name("saved.bmp")));
    ASSERT_TRUE(WriteBytes(firstPath_, first_));
    OpenWithDialog(firstPath_);
    Command(IDM_REDUCE_EXACT);
    NoUnsavedPrompt = 1;
    Seams.messages.clear();
    Command(IDM_RELOAD);
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(DocumentBytes(), first_);
}

// Work that cannot go back to its file is saved under a new name when はい answers the
// question: a read-only file's, and an image read from another kind of file (here a PNG under
// a .gif name), whose name the dialog proposes as a PNG, with PNG chosen.
TEST_F(FileCommands, WorkThatCannotGoBackToItsFileIsSavedUnderANewName) {
    OpenWithDialog(firstPath_);
    Seams.dialogPath = Name("photo.png");
    Command(IDM_SAVEAS); // an RGB PNG
    Write(OnDisk(Name("photo.png")), "photo.gif");
    ASSERT_TRUE(DeleteFileA(Name("photo.png").c_str()));

    OpenWithDialog(firstPath_);
    Command(IDM_REDUCE_EXACT);
    ASSERT_TRUE(SetFileAttributesA(firstPath_.c_str(), FILE_ATTRIBUTE_READONLY));
    ResetSeams();
    Seams.messageAnswer = IDYES;
    Seams.dialogConfirms = false;
    Command(IDM_CLOSE);
    SetFileAttributesA(firstPath_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    EXPECT_FALSE(Seams.dialogs[0].open);
    EXPECT_EQ(Seams.dialogs[0].startName, firstPath_);
    EXPECT_EQ(Seams.dialogs[0].filterIndex, 1u);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(OnDisk(firstPath_), first_);

    Seams.messageAnswer = IDNO;
    OpenWithDialog(Name("photo.gif"));
    ASSERT_TRUE(Kind.decoded);
    Command(IDM_REDUCE_EXACT);
    ResetSeams();
    Seams.messageAnswer = IDYES;
    Seams.dialogPath = Name("photo.png");
    Command(IDM_CLOSE);
    ASSERT_EQ(Seams.dialogs.size(), 1u);
    EXPECT_EQ(Seams.dialogs[0].startName, Name("photo.png"));
    EXPECT_EQ(Seams.dialogs[0].filterIndex, 2u);
    EXPECT_FALSE(IsWindow(window_));
    const Bytes png = OnDisk(Name("photo.png"));
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png[25], 3);                       // indexed, from the converted document
    EXPECT_EQ(OnDisk(Name("photo.gif"))[25], 2); // RGB as it was
}

// Ctrl+C puts the image on the clipboard (an 8-bit image as 8-bit); Ctrl+V makes it a new
// document without a name, unsaved work until Save has asked for a name: closing asks, and
// はい goes to the save dialog, whose キャンセル keeps the window.
TEST_F(FileCommands, CopyThenPasteGivesTheSamePixelsAsAnUntitledImage) {
    OpenWithDialog(firstPath_);
    Command(IDM_REDUCE_EXACT);
    const Bytes converted = DocumentBytes();
    ASSERT_EQ(converted[bmp::kBiBitCount], 8);
    Command(IDM_COPY);
    Seams.messageAnswer = IDNO;
    Command(IDM_PASTE);
    const Bytes pasted = DocumentBytes();
    EXPECT_EQ(Title(), "Tintwright - 無題 *");
    EXPECT_EQ(CurrentFileName[0], '\0');
    ASSERT_EQ(pasted.size(), converted.size());
    EXPECT_EQ(pasted[bmp::kBiBitCount], 8);
    // The same colour table and rows: everything after the headers.
    EXPECT_TRUE(std::equal(converted.begin() + bmp::kHeadersSize, converted.end(),
                           pasted.begin() + bmp::kHeadersSize));

    Seams.messages.clear();
    Command(IDM_RELOAD); // nothing to read again
    EXPECT_TRUE(Seams.messages.empty());
    EXPECT_EQ(DocumentBytes(), pasted);
    Seams.messageAnswer = IDYES;
    Seams.dialogConfirms = false;
    Command(IDM_CLOSE); // Esc
    EXPECT_TRUE(OnlyMessage(kSaveQuestion, kSaveQuestionType));
    ASSERT_EQ(Seams.dialogs.size(), 2u);
    EXPECT_FALSE(Seams.dialogs.back().open);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(DocumentBytes(), pasted);

    Seams.dialogConfirms = true;
    Seams.dialogPath = Name("pasted.bmp");
    Command(IDM_SAVE);
    ASSERT_EQ(Seams.dialogs.size(), 3u);
    EXPECT_EQ(OnDisk(Name("pasted.bmp")), pasted);
    EXPECT_EQ(Title(), TitleFor(Name("pasted.bmp")));
}

} // namespace

namespace {

// The bits of a PNG's indices and the number of its palette's entries.
std::pair<int, std::size_t> PngBitsAndEntries(const Bytes& png) {
    const std::string text(png.begin(), png.end());
    const std::size_t plte = text.find("PLTE");
    if (png.size() < 26 || plte == std::string::npos || plte < 4) {
        return {0, 0};
    }
    const std::size_t length = std::size_t{png[plte - 2]} << 8 | png[plte - 1];
    return {png[24], length / 3};
}

// ビット数 4, 1 or 2: an 8-bit image whose indices fit is saved with that many bits a pixel —
// a BMP with a table of exactly 2^bits entries, 2 bits as 4 in a BMP, a PNG with the entries
// up to the highest index — and opens again showing the same pixels; one whose indices do not
// fit is saved as the 8-bit file it is.
TEST_F(FileCommands, FewerBitsAreWrittenWhenTheIndicesFitAndOpenAgainAlike) {
    std::vector<std::uint32_t> colours;
    for (std::uint32_t i = 0; i < 256; ++i) {
        colours.push_back(i * 0x010305u & 0xFFFFFF);
    }
    const struct {
        DWORD choice;
        int indices, bits;
        const char* name;
    } cases[] = {{1, 16, 4, "four.bmp"}, {3, 2, 1, "one.bmp"},  {2, 4, 4, "two.bmp"},
                 {1, 17, 8, "many.bmp"}, {2, 3, 2, "two.png"},  {4, 5, 4, "auto.png"},
                 {4, 5, 8, "auto.bmp"},  {1, 16, 4, "four.png"}};
    for (const auto& c : cases) {
        const int indices = c.indices;
        const Bytes image = Picture8(13, 5, colours, [indices](int x, int y) {
            return static_cast<std::uint8_t>((x + 3 * y) % indices);
        });
        Load(image, "eight.bmp");
        const Capture shown = Paint();
        QualityBits = c.choice;
        const std::string path = Name(c.name);
        ResetSeams();
        Seams.dialogPath = path;
        Command(IDM_SAVEAS);
        EXPECT_TRUE(Seams.messages.empty()) << c.name;
        const Bytes file = OnDisk(path);
        ASSERT_GT(file.size(), 54u) << c.name;
        if (HasExtension(c.name, ".png")) {
            EXPECT_EQ(PngBitsAndEntries(file), std::pair(c.bits, std::size_t(indices))) << c.name;
        } else if (c.bits == 8) {
            EXPECT_EQ(file, image) << c.name;
        } else {
            const std::uint32_t entries = 1u << c.bits;
            EXPECT_EQ(file[bmp::kBiBitCount], c.bits) << c.name;
            EXPECT_EQ(bmp::ReadU32(&file[bmp::kBiClrUsed]), entries) << c.name;
            EXPECT_EQ(bmp::ReadU32(&file[bmp::kBfOffBits]), 54 + 4 * entries) << c.name;
            EXPECT_EQ(file.size(), 54 + 4 * entries +
                                       5 * bmp::StrideBytes(13, static_cast<std::uint16_t>(c.bits)))
                << c.name;
            EXPECT_TRUE(
                std::equal(file.begin() + 54, file.begin() + 54 + 4 * entries, image.begin() + 54))
                << c.name;
        }
        ASSERT_TRUE(Open(path)) << c.name;
        EXPECT_EQ(Paint().pixels, shown.pixels) << c.name;
    }
}

} // namespace
