#include "win/palette/user_palette.h"

#include <cstring>
#include <vector>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/shell.h"
#include "core/palette/palette_file.h"
#include "core/text/texts.h"
#include "win/document/file_io.h"

HGLOBAL SavedPalette;
HGLOBAL EditPalette;
int SavedPaletteColours;

HGLOBAL NewPaletteTable() {
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, palette::kTableBytes);
}

// The whole file into `bytes`, up to one byte more than the most a palette file may hold,
// which tells a larger file: the formats of other tools are known by their content, an Adobe
// colour table by its size, and a file cut to the limit could lose colours unseen.
static PaletteRead ReadBoundedFile(const char* name, std::vector<BYTE>& bytes) {
    FileHandle file(Files.create(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        return PaletteRead::CannotOpen;
    }
    bytes.resize(palette::kMaxPaletteFileBytes + 1);
    DWORD size = 0;
    for (;;) {
        DWORD got = 0;
        if (!Files.read(file.get(), bytes.data() + size, static_cast<DWORD>(bytes.size()) - size,
                        &got, nullptr)) {
            return PaletteRead::CannotRead;
        }
        size += got;
        if (got == 0 || size == bytes.size()) {
            break;
        }
    }
    if (size > palette::kMaxPaletteFileBytes) {
        return PaletteRead::TooLarge;
    }
    bytes.resize(size);
    return PaletteRead::Read;
}

PaletteRead ReadPaletteFile(const char* name, HGLOBAL table, palette::PaletteFileFacts& facts) {
    facts = palette::PaletteFileFacts{};
    std::vector<BYTE> bytes;
    if (const PaletteRead read = ReadBoundedFile(name, bytes); read != PaletteRead::Read) {
        return read;
    }
    BYTE read[palette::kTableBytes];
    const LockedBlock<BYTE> entries(table);
    if (entries.get() == nullptr) {
        return PaletteRead::CannotRead;
    }
    std::memcpy(read, entries.get(), sizeof read);
    if (!palette::ReadPalette(bytes.data(), bytes.size(), palette::IsZName(name), read, facts)) {
        return PaletteRead::CannotRead;
    }
    std::memcpy(entries.get(), read, sizeof read);
    return PaletteRead::Read;
}

PaletteRead ReadColourListFile(const char* name, std::vector<std::uint32_t>& colours) {
    colours.clear();
    std::vector<BYTE> bytes;
    if (const PaletteRead read = ReadBoundedFile(name, bytes); read != PaletteRead::Read) {
        return read;
    }
    return palette::ReadColourList(bytes.data(), bytes.size(), palette::IsZName(name), colours)
               ? PaletteRead::Read
               : PaletteRead::CannotRead;
}

const char* PaletteReadText(PaletteRead read) {
    return read == PaletteRead::CannotOpen ? kCannotOpenText
           : read == PaletteRead::TooLarge ? kTooLargeText
                                           : kCannotReadText;
}

bool WritePaletteFile(HWND owner, const char* name, HGLOBAL table, int colours, char* written) {
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
    std::vector<BYTE> bytes;
    {
        const LockedBlock<const BYTE> entries(table);
        if (entries.get() == nullptr) {
            return false;
        }
        bytes = palette::EncodePalette(entries.get(), palette::FormatOfName(path), colours, path);
    }
    if (!WriteFileSafely(owner, path, bytes.data(), static_cast<DWORD>(bytes.size()),
                         kWriteFailedText, kWriteFailedText, MB_OK | MB_ICONINFORMATION)) {
        return false;
    }
    std::memcpy(written, path, MAX_PATH);
    return true;
}
