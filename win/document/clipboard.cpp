#include "win/document/clipboard.h"

#include <vector>

#include "core/bmp/packed_dib.h"
#include "core/text/texts.h"
#include "win/app/owners.h"
#include "win/app/shell.h"
#include "win/document/document.h"
#include "win/document/file_commands.h"

// The clipboard, open for the window and closed when the owner goes.
class OpenClipboardScope {
  public:
    explicit OpenClipboardScope(HWND window) : open_(OpenClipboard(window) != FALSE) {}
    ~OpenClipboardScope() {
        if (open_) {
            CloseClipboard();
        }
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    bool IsOpen() const { return open_; }

  private:
    bool open_;
};

void CopyCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    std::vector<BYTE> dib;
    {
        const LockedBlock<const BYTE> document(ImageBuffer);
        if (document.get() == nullptr || !bmp::PackedDibOf(document.get(), ImageBytes, dib)) {
            Report(mainWindow, kCannotCopyText, MB_ICONWARNING);
            return;
        }
    }
    HGLOBAL block = BlockHolding(dib.data(), dib.size());
    if (block == nullptr) {
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        return;
    }
    const OpenClipboardScope clipboard(mainWindow);
    if (!clipboard.IsOpen() || !EmptyClipboard() || SetClipboardData(CF_DIB, block) == nullptr) {
        GlobalFree(block); // the clipboard did not take it
        Report(mainWindow, kClipboardBusyText, MB_ICONWARNING);
    }
}

// The clipboard's image as a BMP file image, from CF_DIB or else CF_DIBV5. False when there
// is none or it cannot be read.
static bool ReadClipboardImage(HWND mainWindow, std::vector<BYTE>& file) {
    const OpenClipboardScope clipboard(mainWindow);
    if (!clipboard.IsOpen()) {
        return false;
    }
    for (const UINT format : {UINT{CF_DIB}, UINT{CF_DIBV5}}) {
        HANDLE data = GetClipboardData(format);
        if (data == nullptr) {
            continue;
        }
        const LockedBlock<const BYTE> dib(data);
        if (dib.get() != nullptr && bmp::FileOfPackedDib(dib.get(), GlobalSize(data), file)) {
            return true;
        }
    }
    return false;
}

void PasteCommand(HWND mainWindow) {
    if (!ImageIsFree(mainWindow)) {
        return;
    }
    if (!IsClipboardFormatAvailable(CF_DIB) && !IsClipboardFormatAvailable(CF_DIBV5)) {
        Report(mainWindow, kNoClipboardImageText, MB_ICONINFORMATION);
        return;
    }
    if (!MayLeaveDocument(mainWindow)) {
        return;
    }
    std::vector<BYTE> file;
    if (!ReadClipboardImage(mainWindow, file)) {
        Report(mainWindow, kCannotReadText, MB_ICONWARNING);
        return;
    }
    HGLOBAL block = BlockHolding(file.data(), file.size());
    if (block == nullptr) {
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        return;
    }
    CurrentFileName[0] = '\0';
    // Written as BMP or PNG only, by the name chosen at the first save; unsaved work until then.
    AdoptImage(mainWindow, block, static_cast<DWORD>(file.size()), true);
    Kind.unsaved = true;
    ShowTitle(mainWindow);
}
