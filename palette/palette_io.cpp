#include "palette/palette_io.h"

#include <cstring>

#include "app/app.h"
#include "app/seams.h"
#include "document/file_commands.h"
#include "palette/palette_file.h"
#include "res/texts.h"

HGLOBAL SavedPalette;
HGLOBAL EditPalette;

HGLOBAL NewPaletteTable() {
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, palette::kTableBytes);
}

PaletteRead ReadPaletteFile(const char* name, HGLOBAL table) {
    HANDLE file = Files.create(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return PaletteRead::CannotOpen;
    }
    const bool zFormat = palette::IsZName(name);
    BYTE bytes[palette::kZHeaderBytes + palette::kZRecordBytes];
    const DWORD wanted = zFormat ? sizeof bytes : palette::kPlainFileBytes;
    DWORD got = 0;
    const BOOL read = Files.read(file, bytes, wanted, &got, nullptr);
    CloseHandle(file);
    if (!read) {
        return PaletteRead::CannotRead;
    }
    auto* entries = static_cast<BYTE*>(GlobalLock(table));
    if (entries != nullptr) {
        palette::DecodePaletteFile(bytes, got, zFormat, entries);
        GlobalUnlock(table);
    }
    return PaletteRead::Read;
}

bool WritePaletteFile(HWND owner, const char* name, HGLOBAL table, char* written) {
    char path[MAX_PATH];
    std::strncpy(path, name, MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    if (palette::IsZName(path)) {
        if (Report(owner, kNoZExtensionText, MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
            return false;
        }
        std::memcpy(path + std::strlen(path) - 3, "pal", 3);
    }
    HANDLE existing = Files.create(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        CloseHandle(existing);
        if (Report(owner, kOverwriteQuestionText, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
            return false;
        }
    }
    BYTE bytes[palette::kPlainFileBytes];
    const auto* entries = static_cast<const BYTE*>(GlobalLock(table));
    if (entries == nullptr) {
        return false;
    }
    palette::EncodePaletteFile(entries, bytes);
    GlobalUnlock(table);
    if (!WriteFileSafely(owner, path, bytes, sizeof bytes, kWriteFailedText, kWriteFailedText,
                         MB_OK | MB_ICONINFORMATION)) {
        return false;
    }
    std::memcpy(written, path, MAX_PATH);
    return true;
}
