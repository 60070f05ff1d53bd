#include "win/document/file_commands.h"

#include <cstdio>
#include <cstring>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/document/file_io.h"
#include "win/res/resource.h"

static bool WriteDocument(HWND owner, const char* path, const char* createFailedText) {
    const LockedBlock<const BYTE> bytes(ImageBuffer);
    return WriteFileSafely(owner, path, bytes.get(), ImageBytes, createFailedText, kWriteFailedText,
                           MB_ICONWARNING);
}

// Frees the document's block; the window shows its background until the next load.
static void ReleaseDocument(HWND mainWindow) {
    GlobalFree(ImageBuffer);
    ImageBuffer = nullptr;
    ImageBytes = 0;
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}

// Whether releasing the document could make room for `size` bytes: the process's free
// address space and the document's own block must hold them together.
static bool RoomOnceReleased(SIZE_T size) {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return true;
    }
    return size <= status.ullAvailVirtual + GlobalSize(ImageBuffer);
}

// A new block for the image. When memory cannot hold it beside the document, the document
// goes first, but only when that could make room and the user agrees; `declined` tells
// that the user said no. Null when there is no block; the document is then as it was,
// unless the user gave it up.
static HGLOBAL AllocateImageBlock(HWND mainWindow, SIZE_T size, bool& declined) {
    declined = false;
    HGLOBAL block = Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block != nullptr || ImageBuffer == nullptr || !RoomOnceReleased(size)) {
        return block;
    }
    if (Report(mainWindow, kReleaseToLoadText, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        declined = true;
        return nullptr;
    }
    ReleaseDocument(mainWindow);
    return Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
}

// Reads `size` bytes of the open file into a new block. The new image is read completely
// before the old one is released, so that a failed read leaves the document as it was. An
// empty file still gets a block. Null, with the failure told, when the image could not be
// read (or the user would not give up the document for it).
static HGLOBAL ReadIntoNewBlock(HWND mainWindow, HANDLE file, DWORD size) {
    bool declined = false;
    HGLOBAL block = AllocateImageBlock(mainWindow, size ? size : 1, declined);
    if (declined) {
        return nullptr;
    }
    const char* failure = nullptr;
    if (block == nullptr) {
        failure = kNoMemoryText;
    } else {
        const LockedBlock<BYTE> bytes(block);
        DWORD got = 0;
        if (bytes.get() == nullptr) {
            failure = kNoMemoryText;
        } else if (size != 0 &&
                   (!Files.read(file, bytes.get(), size, &got, nullptr) || got != size)) {
            failure = kCannotReadText;
        }
    }
    if (failure != nullptr) {
        if (block != nullptr) {
            GlobalFree(block);
        }
        Report(mainWindow, failure, MB_ICONWARNING);
        return nullptr;
    }
    return block;
}

// A file that loads but cannot be shown would leave the window blank without a word: say why.
static void TellWhyNotShown(HWND mainWindow) {
    const char* why = nullptr;
    {
        const LockedBlock<const BYTE> document(ImageBuffer);
        const bmp::DrawPlan plan =
            bmp::PlanDrawing(document.get(), document.get() ? ImageBytes : 0);
        why = plan.drawable ? nullptr : text::NotShownText(plan.problem);
    }
    if (why != nullptr) {
        Report(mainWindow, why, MB_ICONWARNING);
    }
}

bool LoadCurrentFile(HWND mainWindow, bool chain) {
    FileHandle file(Files.create(CurrentFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        Report(mainWindow, kCannotOpenText, MB_ICONWARNING);
        return false;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR); // a size of 0xFFFFFFFF is a failure only with an error set
    const DWORD size = Files.getSize(file.get(), &high);
    if (high != 0) {
        file.Close();
        Report(mainWindow, kTooLargeText, MB_ICONWARNING);
        return false;
    }
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        file.Close();
        Report(mainWindow, kCannotReadText, MB_ICONWARNING);
        return false;
    }
    HGLOBAL block = ReadIntoNewBlock(mainWindow, file.get(), size);
    file.Close();
    if (block == nullptr) {
        return false;
    }
    if (ImageBuffer != nullptr) {
        GlobalFree(ImageBuffer);
    }
    InvalidateScreenCache();
    ImageBuffer = block;
    ImageBytes = size;
    ImageLoaded = 1;
    RepaintWindow(mainWindow);
    TellWhyNotShown(mainWindow);
    if (chain && AutoReduce) {
        SendMessageA(mainWindow, WM_COMMAND, IDM_REDUCE_EXACT, 0);
    }
    return true;
}

// After a refused load the document still belongs to the earlier file: keep its name, so
// that Save never writes that image over the file that could not be loaded. With
// KeepReadOnly on, a read-only file is refused here: Wine's open dialog lets one through,
// and a drop asks nothing.
static void LoadOrKeepName(HWND mainWindow, const char* previousName) {
    if (KeepReadOnly && IsReadOnlyFile(CurrentFileName)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        Report(mainWindow, kReadOnlyNotOpenedText, MB_ICONWARNING);
        return;
    }
    if (!LoadCurrentFile(mainWindow, true) && ImageBuffer != nullptr) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
    }
}

void OpenCommand(HWND mainWindow) {
    if (!ImageIsFree(mainWindow)) {
        return;
    }
    char previousName[MAX_PATH];
    std::memcpy(previousName, CurrentFileName, MAX_PATH);
    if (!ChooseImageFile(CurrentFileName, mainWindow, 1)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        return;
    }
    LoadOrKeepName(mainWindow, previousName);
}

void DropCommand(HWND mainWindow, HDROP drop) {
    if (!ImageIsFree(mainWindow)) {
        FinishDrop(drop);
        return;
    }
    char previousName[MAX_PATH];
    std::memcpy(previousName, CurrentFileName, MAX_PATH);
    const UINT length = QueryDroppedFile(drop, 0, nullptr, 0);
    if (length >= MAX_PATH) {
        Report(mainWindow, kNameTooLongText, MB_ICONWARNING);
    } else if (length > 0) {
        if (QueryDroppedFile(drop, 0, CurrentFileName, MAX_PATH) > 0) {
            LoadOrKeepName(mainWindow, previousName);
        } else {
            std::memcpy(CurrentFileName, previousName, MAX_PATH);
        }
    }
    FinishDrop(drop);
}

void ReloadCommand(HWND mainWindow) {
    if (!ImageLoaded || !ImageIsFree(mainWindow)) {
        return;
    }
    LoadCurrentFile(mainWindow, false);
}

// With no image there is nothing to save: Save and Save as do nothing, and touch no file.
void SaveCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    WriteDocument(mainWindow, CurrentFileName, kCannotOverwriteText);
}

void SaveAsCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    char previousName[MAX_PATH];
    std::memcpy(previousName, CurrentFileName, MAX_PATH);
    // A refused save leaves the name as it was: Save and Reload still mean the user's file.
    if (!ChooseImageFile(CurrentFileName, mainWindow, 0) ||
        !WriteDocument(mainWindow, CurrentFileName, kCannotSaveText)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
    }
}

void CloseCommand(HWND mainWindow) {
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
}
