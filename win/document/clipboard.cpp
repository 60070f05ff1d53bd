#include "win/document/clipboard.h"

#include <vector>

#include "core/bmp/packed_dib.h"
#include "core/image/png_check.h"
#include "core/text/texts.h"
#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "win/document/codecs.h"
#include "win/document/document.h"
#include "win/document/file_commands.h"
#include "win/document/transparency.h"

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

// The packed bitmap with alpha of an image with transparency, for CF_DIBV5; empty for any
// other image.
static std::vector<BYTE> DibWithAlphaOf(const BYTE* document) {
    std::vector<BYTE> rgba;
    int width = 0, height = 0;
    if (!RgbaPixelsWithAlpha(document, ImageBytes, Kind.translucent, rgba, width, height)) {
        return {};
    }
    return bmp::PackedDibWithAlpha(rgba.data(), static_cast<std::uint32_t>(width),
                                   static_cast<std::uint32_t>(height));
}

void CopyCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return;
    }
    std::vector<BYTE> dib, withAlpha;
    {
        const LockedBlock<const BYTE> document(ImageBuffer);
        if (document.get() == nullptr || !bmp::PackedDibOf(document.get(), ImageBytes, dib)) {
            Report(mainWindow, kCannotCopyText, MB_ICONWARNING);
            return;
        }
        withAlpha = DibWithAlphaOf(document.get());
    }
    HGLOBAL block = BlockHolding(dib.data(), dib.size());
    HGLOBAL alphaBlock =
        withAlpha.empty() ? nullptr : BlockHolding(withAlpha.data(), withAlpha.size());
    if (block == nullptr || (!withAlpha.empty() && alphaBlock == nullptr)) {
        GlobalFree(block);
        GlobalFree(alphaBlock);
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        return;
    }
    const OpenClipboardScope clipboard(mainWindow);
    if (!clipboard.IsOpen() || !EmptyClipboard() || SetClipboardData(CF_DIB, block) == nullptr) {
        GlobalFree(block); // the clipboard did not take it
        GlobalFree(alphaBlock);
        Report(mainWindow, kClipboardBusyText, MB_ICONWARNING);
        return;
    }
    // Beside the bitmap every program reads, the one with alpha for those that keep it.
    if (alphaBlock != nullptr && SetClipboardData(CF_DIBV5, alphaBlock) == nullptr) {
        GlobalFree(alphaBlock);
    }
}

// The PNG file that browsers and other programs put on the clipboard (Wine offers an X11
// image/png under this name). Read when there is no bitmap.
static UINT PngClipboardFormat() {
    return RegisterClipboardFormatA("PNG");
}

// The clipboard's bitmap, from CF_DIB or else CF_DIBV5 (with 透明度を保つ, CF_DIBV5 first, whose
// alpha it keeps), as a block holding its BMP file image. Null, with `failure` set, when there
// is none or it cannot be read.
static HGLOBAL ReadClipboardBitmap(DWORD& bytes, const char*& failure) {
    failure = kCannotReadText;
    const UINT first = QualityAlpha ? CF_DIBV5 : CF_DIB;
    for (const UINT format : {first, first == CF_DIB ? UINT{CF_DIBV5} : UINT{CF_DIB}}) {
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
