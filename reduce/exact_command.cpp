#include "reduce/exact_command.h"

#include "app/shell.h"
#include "core/reduce/exact_reduction.h"
#include "document/document.h"

void ExactReductionCommand(HWND mainWindow) {
    if (ImageBuffer == nullptr || !ImageIsFree(mainWindow)) {
        return;
    }
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    if (data == nullptr) {
        return;
    }
    // The resizer may give the block a new handle: unlock whatever ImageBuffer is now.
    const reduce::Result result = reduce::ReduceExact(data, ImageBytes, DocumentResizer());
    GlobalUnlock(ImageBuffer);
    if (result.outcome != reduce::Outcome::Converted) {
        ReportRefusal(mainWindow, result.outcome);
        return;
    }
    ImageBytes = static_cast<DWORD>(result.newSize);
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}
