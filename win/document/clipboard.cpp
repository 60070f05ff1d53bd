#include "win/document/clipboard.h"

#include <vector>

#include "core/bmp/packed_dib.h"
#include "core/image/png_check.h"
#include "core/text/texts.h"
#include "win/app/owners.h"
#include "win/app/shell.h"
#include "win/document/codecs.h"
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

// The PNG file that browsers and other programs put on the clipboard (Wine offers an X11
// image/png under this name). Read when there is no bitmap.
static UINT PngClipboardFormat() {
    return RegisterClipboardFormatA("PNG");
}

// The clipboard's bitmap, from CF_DIB or else CF_DIBV5, as a block holding its BMP file image.
// Null, with `failure` set, when there is none or it cannot be read.
static HGLOBAL ReadClipboardBitmap(DWORD& bytes, const char*& failure) {
    failure = kCannotReadText;
    for (const UINT format : {UINT{CF_DIB}, UINT{CF_DIBV5}}) {
        HANDLE data = GetClipboardData(format);
        if (data == nullptr) {
            continue;
        }
        std::vector<BYTE> file;
        {
            const LockedBlock<const BYTE> dib(data);
            if (dib.get() == nullptr || !bmp::FileOfPackedDib(dib.get(), GlobalSize(data), file)) {
                continue;
            }
        }
        bytes = static_cast<DWORD>(file.size());
        HGLOBAL block = BlockHolding(file.data(), file.size());
        failure = block == nullptr ? kNoMemoryText : nullptr;
        return block;
    }
    return nullptr;
}

// The clipboard's PNG file decoded as an opened PNG file is, into a block holding its plain
// 24-bit BMP file image. Null, with `failure` set, when it cannot be.
static HGLOBAL ReadClipboardPng(DWORD& bytes, const char*& failure) {
    HANDLE data = GetClipboardData(PngClipboardFormat());
    const LockedBlock<const BYTE> png(data);
    const SIZE_T size = data != nullptr ? GlobalSize(data) : 0;
    HGLOBAL block = nullptr;
    DecodeResult result = DecodeResult::CannotRead;
    if (png.get() != nullptr && size <= MAXDWORD && image::IsPng(png.get(), size)) {
        result =
            DecodeImage(png.get(), static_cast<DWORD>(size), AlphaRuleOfSettings(), block, bytes);
    }
    failure = result == DecodeResult::TooLarge   ? kTooLargeText
              : result == DecodeResult::NoMemory ? kNoMemoryText
                                                 : kCannotReadText;
    return block;
}

// The clipboard's image as a block holding a BMP file image: its bitmap when it has one that
// can be read, else its PNG file. Null, with `failure` set, when there is none or it cannot be
// read.
static HGLOBAL ReadClipboardImage(HWND mainWindow, DWORD& bytes, const char*& failure) {
    const OpenClipboardScope clipboard(mainWindow);
    if (!clipboard.IsOpen()) {
        failure = kClipboardBusyText;
        return nullptr;
    }
    HGLOBAL block = ReadClipboardBitmap(bytes, failure);
    if (block == nullptr && failure != kNoMemoryText &&
        IsClipboardFormatAvailable(PngClipboardFormat())) {
        block = ReadClipboardPng(bytes, failure);
    }
    return block;
}

void PasteCommand(HWND mainWindow) {
    if (!ImageIsFree(mainWindow)) {
        return;
    }
    if (!IsClipboardFormatAvailable(CF_DIB) && !IsClipboardFormatAvailable(CF_DIBV5) &&
        !IsClipboardFormatAvailable(PngClipboardFormat())) {
        Report(mainWindow, kNoClipboardImageText, MB_ICONINFORMATION);
        return;
    }
    if (!MayLeaveDocument(mainWindow)) {
        return;
    }
    DWORD bytes = 0;
    const char* failure = nullptr;
    HGLOBAL block = ReadClipboardImage(mainWindow, bytes, failure);
    if (block == nullptr) {
        Report(mainWindow, failure, MB_ICONWARNING);
        return;
    }
    CurrentFileName[0] = '\0';
    // Written as BMP or PNG only, by the name chosen at the first save; unsaved work until then.
    AdoptImage(mainWindow, block, bytes, true);
    Kind.unsaved = true;
    ShowTitle(mainWindow);
}
