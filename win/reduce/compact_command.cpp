#include "win/reduce/compact_command.h"

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/quantize/compact.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/document/frames.h"

void CompactCommand(HWND mainWindow) {
    if (ImageBuffer == nullptr || !ImageIsFree(mainWindow) || !MayTakeFrameShownOnly(mainWindow)) {
        return;
    }
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    if (data == nullptr) {
        return;
    }
    if (ImageBytes <= bmp::kBiBitCount || data[bmp::kBiBitCount] != 8) {
        GlobalUnlock(ImageBuffer);
        Report(mainWindow, kCompactNot8BitText, MB_ICONINFORMATION);
        return;
    }
    // Entry 0 is a key colour when the image came with one or the key colour is on.
    const bool keepZero = Kind.keyTransparent || QualityKey != 0;
    int entries = 0;
    const quantize::Result result =
        quantize::CompactImage(data, ImageBytes, keepZero, entries, Kind.translucent);
    GlobalUnlock(ImageBuffer);
    if (result.outcome != quantize::Outcome::Converted) {
        ReportRefusal(mainWindow, result.outcome);
        return;
    }
    ImageBytes = static_cast<DWORD>(result.newSize);
    Kind.paletteEntries = entries;
    Kind.unsaved = true;
    ShowTitle(mainWindow);
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}
