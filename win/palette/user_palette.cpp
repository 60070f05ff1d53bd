#include "win/palette/user_palette.h"

#include <cstring>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/shell.h"
#include "core/palette/palette_file.h"
#include "core/text/texts.h"
#include "win/document/file_io.h"

HGLOBAL SavedPalette;
HGLOBAL EditPalette;

HGLOBAL NewPaletteTable() {
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, palette::kTableBytes);
}

PaletteRead ReadPaletteFile(const char* name, HGLOBAL table) {
    FileHandle file(Files.create(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        return PaletteRead::CannotOpen;
    }
    const bool zFormat = palette::IsZName(name);
    BYTE bytes[palette::kZHeaderBytes + palette::kZRecordBytes];
    const DWORD wanted = zFormat ? sizeof bytes : palette::kPlainFileBytes;
    DWORD got = 0;
    if (!Files.read(file.get(), bytes, wanted, &got, nullptr)) {
        return PaletteRead::CannotRead;
    }
    const LockedBlock<BYTE> entries(table);
    if (entries.get() != nullptr) {
        palette::DecodePaletteFile(bytes, got, zFormat, entries.get());
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
    if (FileHandle(Files.create(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr))
            .IsOpen()) {
        if (Report(owner, kOverwriteQuestionText, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
            return false;
        }
    }
    BYTE bytes[palette::kPlainFileBytes];
    {
        const LockedBlock<const BYTE> entries(table);
        if (entries.get() == nullptr) {
            return false;
        }
        palette::EncodePaletteFile(entries.get(), bytes);
    }
    if (!WriteFileSafely(owner, path, bytes, sizeof bytes, kWriteFailedText, kWriteFailedText,
                         MB_OK | MB_ICONINFORMATION)) {
        return false;
    }
    std::memcpy(written, path, MAX_PATH);
    return true;
}
