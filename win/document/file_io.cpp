#include "win/document/file_io.h"

#include <cstdio>
#include <cstring>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/text/texts.h"

char PathWorkBuffer[MAX_PATH];

// Saving offers the two formats the document is written in; the BMP entry's text and pattern
// are the program's own.
static constexpr char kSaveFilter[] =
    "BMPファイル(BMP)\0*.BMP\0PNGファイル(PNG)\0*.png\0GIFファイル(GIF)\0*.gif\0"
    "すべてのファイル\0*.*\0";
static constexpr DWORD kPngFilterIndex = 2, kGifFilterIndex = 3;
// Opening takes the images the platform's codecs read, too.
static constexpr char kOpenFilter[] =
    "画像 "
    "(*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff)\0*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff\0"
    "BMP (*.bmp)\0*.bmp\0すべてのファイル\0*.*\0";
static constexpr char kPaletteFilter[] =
    "パレット (*.pal;*.act;*.gpl;*.hex)\0*.pal;*.act;*.gpl;*.hex\0すべてのファイル\0*.*\0";

bool HasExtension(const char* path, const char* extension) {
    const std::size_t length = std::strlen(path), wanted = std::strlen(extension);
    return length >= wanted && lstrcmpiA(path + length - wanted, extension) == 0;
}

// The folder part of a full path ("C:\a\b.bmp" gives "C:\a", "C:\b.bmp" gives "C:\"), or
// empty.
static void FolderOf(const char* path, char* folder) {
    std::strncpy(folder, path, MAX_PATH - 1);
    folder[MAX_PATH - 1] = '\0';
    char* lastSeparator = nullptr;
    for (char* p = folder; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            lastSeparator = p;
        }
    }
    if (lastSeparator == folder + 2 && folder[1] == ':') {
        folder[3] = '\0'; // the root of a drive keeps its separator
    } else if (lastSeparator != nullptr) {
        *lastSeparator = '\0';
    } else {
        folder[0] = '\0';
    }
}

// The open or save dialog on a 260-byte name buffer, listing the filter's files first, its
// entry `filterIndex` chosen. A name typed without an extension takes that of the entry the
// user chose (`defaultExtension` for one without).
static int ChooseFile(char* name, HWND owner, int openDialog, const char* filter, DWORD filterIndex,
                      const char* defaultExtension, const char* initialDir) {
    OPENFILENAMEA record = {};
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    record.hwndOwner = owner;
    record.hInstance = AppInstance;
    record.lpstrFilter = filter;
    record.nFilterIndex = filterIndex;
    record.lpstrFile = name;
    record.nMaxFile = MAX_PATH;
    record.lpstrInitialDir = initialDir[0] != '\0' ? initialDir : nullptr;
    record.lpstrTitle = openDialog ? "開く" : "保存";
    record.lpstrDefExt = defaultExtension;
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

int ChooseImageFile(char* name, HWND owner, int openDialog) {
    if (openDialog) {
        // The open dialog starts in the current directory.
        GetCurrentDirectoryA(MAX_PATH, PathWorkBuffer);
        return ChooseFile(name, owner, 1, kOpenFilter, 1, "bmp", PathWorkBuffer);
    }
    // The save dialog starts in the current file's folder, on the format its name says.
    char folder[MAX_PATH];
    FolderOf(name, folder);
    const DWORD filter = HasExtension(name, ".png")   ? kPngFilterIndex
                         : HasExtension(name, ".gif") ? kGifFilterIndex
                                                      : 1;
    return ChooseFile(name, owner, 0, kSaveFilter, filter, "bmp", folder);
}

int ChoosePaletteFile(char* name, HWND owner, const char* inForce) {
    // The folder of the palette file in force, else the current directory; no name proposed.
    char folder[MAX_PATH];
    FolderOf(inForce, folder);
    if (folder[0] == '\0') {
        GetCurrentDirectoryA(MAX_PATH, folder);
    }
    name[0] = '\0';
    return ChooseFile(name, owner, 1, kPaletteFilter, 1, "pal", folder);
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

// How OpenForOverwrite went, for callers that report it.
enum class OverwriteOutcome {
    Created,           // the file was created; see safetyCopy
    NameTooLong,       // "<path>.tmp" does not fit a path buffer; nothing was touched
    SafetyCopyBlocked, // the file exists but could not be moved aside; nothing was touched
    CreateFailed,      // creating failed; the earlier file is back under its name
};
struct OverwriteInfo {
    OverwriteOutcome outcome = OverwriteOutcome::CreateFailed;
    bool safetyCopy = false; // the earlier file now lies under "<path>.tmp"
    char safetyName[MAX_PATH] = "";
};

// CreateFileA with a safety copy: an existing file is first moved to "<path>.tmp" and moved
// back if the create fails. An existing file that cannot be moved aside is never overwritten.
// `out` tells how it went.
static HANDLE OpenForOverwrite(const char* path, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile, OverwriteInfo& out) {
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
    FileHandle file(OpenForOverwrite(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr, info));
    if (!file.IsOpen()) {
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
    const BOOL wrote = bytes != nullptr && Files.write(file.get(), bytes, size, &written, nullptr);
    const bool closed = file.Close();
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
