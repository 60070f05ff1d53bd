#include "win/reduce/exact_command.h"

#include "win/app/shell.h"
#include "core/quantize/exact_reduction.h"
#include "win/document/document.h"

void ExactReductionCommand(HWND mainWindow) {
    if (ImageBuffer == nullptr || !ImageIsFree(mainWindow)) {
        return;
    }
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    if (data == nullptr) {
        return;
    }
    // The resizer may give the block a new handle: unlock whatever ImageBuffer is now.
    const quantize::Result result = quantize::ReduceExact(data, ImageBytes, DocumentResizer());
    GlobalUnlock(ImageBuffer);
    if (result.outcome != quantize::Outcome::Converted) {
        ReportRefusal(mainWindow, result.outcome);
        return;
    }
    ImageBytes = static_cast<DWORD>(result.newSize);
    Kind.paletteEntries = 256;
    Kind.keyTransparent = false;
    Kind.unsaved = true;
    ShowTitle(mainWindow);
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}
