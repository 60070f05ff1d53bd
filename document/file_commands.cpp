#include "document/file_commands.h"

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/seams.h"
#include "app/settings.h"
#include "document/image_buffer.h"
#include "document/main_window.h"
#include "reduce/diffusion_command.h"
#include "res/resource.h"

char CurrentFileName[MAX_PATH];
char PathWorkBuffer[MAX_PATH];

static constexpr char kImageFilter[] = "BMPファイル(BMP)\0*.BMP\0すべてのファイル\0*.*\0";

// The folder part of a full path ("C:\a\b.bmp" gives "C:\a"), or empty.
static void FolderOf(const char* path, char* folder) {
    std::strncpy(folder, path, MAX_PATH - 1);
    folder[MAX_PATH - 1] = '\0';
    char* lastSeparator = nullptr;
    for (char* p = folder; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            lastSeparator = p;
        }
    }
    if (lastSeparator != nullptr) {
        *lastSeparator = '\0';
    } else {
        folder[0] = '\0';
    }
}

int ChooseImageFile(char* name, HWND owner, int openDialog) {
    // The save dialog starts in the current file's folder; the open dialog in the current
    // directory.
    char saveFolder[MAX_PATH];
    if (openDialog) {
        GetCurrentDirectoryA(MAX_PATH, PathWorkBuffer);
    } else {
        FolderOf(name, saveFolder);
    }
    OPENFILENAMEA record = {};
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    record.hwndOwner = owner;
    record.hInstance = AppInstance;
    record.lpstrFilter = kImageFilter;
    record.nFilterIndex = 1;
    record.lpstrFile = name;
    record.nMaxFile = MAX_PATH;
    record.lpstrInitialDir = openDialog ? PathWorkBuffer : (saveFolder[0] ? saveFolder : nullptr);
    record.lpstrTitle = openDialog ? "開く" : "保存";
    record.lpstrDefExt = "bmp";
    record.Flags = OFN_LONGNAMES | OFN_HIDEREADONLY;
    if (openDialog) {
        record.Flags |= OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        if (KeepReadOnly) {
            record.Flags |= OFN_NOREADONLYRETURN;
        }
        return RunOpenDialog(&record);
    }
    record.Flags |= OFN_NOREADONLYRETURN | OFN_OVERWRITEPROMPT;
    return RunSaveDialog(&record);
}

bool MakeSafetyName(const char* path, char* safety) {
    const size_t length = std::strlen(path);
    if (length + sizeof ".tmp" > MAX_PATH) {
        return false;
    }
    std::memcpy(safety, path, length);
    std::memcpy(safety + length, ".tmp", sizeof ".tmp");
    return true;
}

HANDLE OpenForOverwrite(const char* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                        DWORD disposition, DWORD flags, HANDLE templateFile, OverwriteInfo* info) {
    OverwriteInfo local;
    OverwriteInfo& out = info ? *info : local;
    out = OverwriteInfo{};
    if (!MakeSafetyName(path, out.safetyName)) {
        out.outcome = OverwriteOutcome::NameTooLong;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    out.safetyCopy = Files.move(path, out.safetyName) != FALSE;
    // A file that could not be moved aside (its safety name is taken, or it is locked) would
    // be overwritten with no copy left if the write then failed.
    if (!out.safetyCopy && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        out.outcome = OverwriteOutcome::SafetyCopyBlocked;
        SetLastError(ERROR_ALREADY_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = Files.create(path, access, share, security, disposition, flags, templateFile);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (out.safetyCopy && Files.move(out.safetyName, path)) {
            out.safetyCopy = false;
        }
        out.outcome = OverwriteOutcome::CreateFailed;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    out.outcome = OverwriteOutcome::Created;
    return file;
}

bool IsReadOnlyFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool WriteFileSafely(HWND owner, const char* path, const void* bytes, DWORD size,
                     const char* createFailedText, const char* writeFailedText, UINT failureType) {
    // A read-only file is the user's word that it must not change: moving it aside would
    // replace it all the same, and its read-only safety copy could not be deleted.
    if (IsReadOnlyFile(path)) {
        Report(owner, createFailedText, failureType);
        return false;
    }
    OverwriteInfo info;
    HANDLE file = OpenForOverwrite(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr, &info);
    if (file == INVALID_HANDLE_VALUE) {
        if (info.outcome == OverwriteOutcome::NameTooLong) {
            Report(owner, kNameTooLongText, MB_ICONWARNING);
        } else if (info.outcome == OverwriteOutcome::SafetyCopyBlocked) {
            Report(owner, kSafetyCopyBlockedText, MB_ICONWARNING);
        } else {
            Report(owner, createFailedText, failureType);
        }
        return false;
    }
    DWORD written = 0;
    const BOOL wrote = bytes != nullptr && Files.write(file, bytes, size, &written, nullptr);
    const BOOL closed = CloseHandle(file);
    if (!wrote || written != size || !closed) {
        Files.remove(path);
        if (info.safetyCopy) {
            Files.move(info.safetyName, path);
        }
        Report(owner, writeFailedText, failureType);
        return false;
    }
    if (info.safetyCopy && !Files.remove(info.safetyName)) {
        char text[sizeof kSafetyCopyLeftText + MAX_PATH + 1];
        std::snprintf(text, sizeof text, "%s\n%s", kSafetyCopyLeftText, info.safetyName);
        Report(owner, text, MB_ICONWARNING);
    }
    return true;
}

static bool WriteDocument(HWND owner, const char* path, const char* createFailedText) {
    const void* bytes = GlobalLock(ImageBuffer);
    const bool saved = WriteFileSafely(owner, path, bytes, ImageBytes, createFailedText,
                                       kWriteFailedText, MB_ICONWARNING);
    GlobalUnlock(ImageBuffer);
    return saved;
}

// Frees the document's block; the window shows its background until the next load.
static void ReleaseDocument(HWND mainWindow) {
    GlobalFree(ImageBuffer);
    ImageBuffer = nullptr;
    ImageBytes = 0;
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}

bool LoadCurrentFile(HWND mainWindow, bool chain) {
    HANDLE file = Files.create(CurrentFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Report(mainWindow, kCannotOpenText, MB_ICONWARNING);
        return false;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR); // a size of 0xFFFFFFFF is a failure only with an error set
    const DWORD size = Files.getSize(file, &high);
    if (high != 0) {
        CloseHandle(file);
        Report(mainWindow, kTooLargeText, MB_ICONWARNING);
        return false;
    }
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        CloseHandle(file);
        Report(mainWindow, kCannotReadText, MB_ICONWARNING);
        return false;
    }
    // The new image is read completely before the old one is released, so that a failed
    // read leaves the document as it was. When memory cannot hold both, the old one goes
    // first, as the largest images need: a failure after that leaves no document. An empty
    // file still gets a block.
    const SIZE_T blockSize = size ? size : 1;
    HGLOBAL block = Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, blockSize);
    if (block == nullptr && ImageBuffer != nullptr) {
        ReleaseDocument(mainWindow);
        block = Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, blockSize);
    }
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (bytes == nullptr) {
        if (block != nullptr) {
            GlobalFree(block);
        }
        CloseHandle(file);
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        return false;
    }
    DWORD got = 0;
    const BOOL read = size == 0 || Files.read(file, bytes, size, &got, nullptr);
    GlobalUnlock(block);
    CloseHandle(file);
    if (!read || got != size) {
        GlobalFree(block);
        Report(mainWindow, kCannotReadText, MB_ICONWARNING);
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
    if (!ChooseImageFile(CurrentFileName, mainWindow, 0)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        return;
    }
    WriteDocument(mainWindow, CurrentFileName, kCannotSaveText);
}

void CloseCommand(HWND mainWindow) {
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
}
