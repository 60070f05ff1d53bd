#include "win/document/document.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/shell.h"
#include "core/text/texts.h"

HGLOBAL ImageBuffer;
DWORD ImageBytes;
int ImageLoaded;
char CurrentFileName[MAX_PATH];
DocumentKind Kind;
FrameSet Frames;

void ShowTitle(HWND mainWindow) {
    if (!HasDocument()) {
        SetWindowTextA(mainWindow, kAppTitle);
        return;
    }
    // The name after the last separator; CharNextA keeps to whole characters of code page 932,
    // whose second bytes may look like a backslash.
    const char* name = CurrentFileName[0] != '\0' ? CurrentFileName : kUntitledName;
    for (const char* p = name; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    char frame[48] = "";
    if (HasFrames()) {
        std::snprintf(frame, sizeof frame, " (%zu/%zu)", Frames.shown + 1, Frames.images.size());
    }
    char title[MAX_PATH + 64];
    std::snprintf(title, sizeof title, "%s - %s%s%s", kAppTitle, name, frame,
                  Kind.unsaved ? " *" : "");
    SetWindowTextA(mainWindow, title);
}
ScreenPaletteState ScreenPalette;
ScreenRowsState ScreenRows;

static std::atomic<bool> Running{false};

// Frees what painting keeps of one image: its display palette and unpacked rows.
static void ReleaseScreenState(ScreenPaletteState& palette, ScreenRowsState& rows) {
    if (palette.built) {
        DeleteObject(palette.object);
    }
    palette.object = nullptr;
    palette.built = FALSE;
    std::vector<BYTE>().swap(rows.pixels);
    rows.tried = false;
    std::vector<BYTE>().swap(rows.blended);
    rows.blendTried = false;
}

unsigned DocumentChanges;

void InvalidateScreenCache() {
    ReleaseScreenState(ScreenPalette, ScreenRows);
    ++DocumentChanges;
}

HGLOBAL BlockHolding(const void* bytes, SIZE_T size) {
    HGLOBAL block = Files.allocate(GMEM_MOVEABLE, size ? size : 1);
    if (block == nullptr) {
        return nullptr;
    }
    bool copied = false;
    {
        const LockedBlock<BYTE> to(block);
        if (to.get() != nullptr) {
            std::memcpy(to.get(), bytes, size);
            copied = true;
        }
    }
    if (!copied) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

HGLOBAL ComparisonImage;
DWORD ComparisonBytes;
ScreenPaletteState ComparisonPalette;
ScreenRowsState ComparisonRows;

void DropComparisonCopy() {
    if (ComparisonImage != nullptr) {
        GlobalFree(ComparisonImage);
    }
    ComparisonImage = nullptr;
    ComparisonBytes = 0;
    ReleaseScreenState(ComparisonPalette, ComparisonRows);
}

void KeepComparisonCopy() {
    DropComparisonCopy();
    if (!HasDocument()) {
        return;
    }
    const LockedBlock<const BYTE> document(ImageBuffer);
    if (document.get() != nullptr) {
        ComparisonImage = BlockHolding(document.get(), ImageBytes);
        ComparisonBytes = ComparisonImage != nullptr ? ImageBytes : 0;
    }
}

void LeaveRoomToConvert() {
    if (ComparisonImage == nullptr) {
        return;
    }
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    const std::uint64_t wanted = 2ull * ImageBytes + (std::uint64_t{64} << 20);
    if (!GlobalMemoryStatusEx(&status) || status.ullAvailVirtual < wanted) {
        DropComparisonCopy();
    }
}

bool ConversionInProgress() {
    return Running.load();
}

void SetConversionInProgress(bool running) {
    Running = running;
}

bool ImageIsFree(HWND owner) {
    if (!ConversionInProgress()) {
        return true;
    }
    Report(owner, kConversionBusyText, MB_ICONINFORMATION);
    return false;
}

quantize::Resizer DocumentResizer() {
    return [](std::uint64_t size) {
        if (size == 0 || size > 0xFFFFFFFFu) {
            return quantize::ResizeResult{static_cast<std::uint8_t*>(GlobalLock(ImageBuffer)),
                                          false};
        }
        GlobalUnlock(ImageBuffer);
        // Nobody may see more valid bytes than the block holds, even while it shrinks.
        if (size < ImageBytes) {
            ImageBytes = static_cast<DWORD>(size);
        }
        HGLOBAL moved = GlobalReAlloc(ImageBuffer, static_cast<SIZE_T>(size), GMEM_MOVEABLE);
        if (moved != nullptr) {
            ImageBuffer = moved;
        }
        return quantize::ResizeResult{static_cast<std::uint8_t*>(GlobalLock(ImageBuffer)),
                                      moved != nullptr};
    };
}
