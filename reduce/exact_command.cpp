#include "reduce/exact_command.h"

#include "app/app.h"
#include "document/image_buffer.h"
#include "document/main_window.h"
#include "reduce/diffusion_command.h"
#include "reduce/exact_reduction.h"
#include "res/texts.h"

reduce::Resizer DocumentResizer() {
    return [](std::uint64_t size) {
        if (size == 0 || size > 0xFFFFFFFFu) {
            return reduce::ResizeResult{static_cast<std::uint8_t*>(GlobalLock(ImageBuffer)), false};
        }
        GlobalUnlock(ImageBuffer);
        HGLOBAL moved = GlobalReAlloc(ImageBuffer, static_cast<SIZE_T>(size), GMEM_MOVEABLE);
        if (moved != nullptr) {
            ImageBuffer = moved;
        }
        return reduce::ResizeResult{static_cast<std::uint8_t*>(GlobalLock(ImageBuffer)),
                                    moved != nullptr};
    };
}

void ExactReductionCommand(HWND mainWindow) {
    if (ImageBuffer == nullptr || !ImageIsFree(mainWindow)) {
        return;
    }
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    if (data == nullptr) {
        return;
    }
    const reduce::ExactResult result = reduce::ReduceExact(data, ImageBytes, DocumentResizer());
    GlobalUnlock(ImageBuffer);
    switch (result.outcome) {
    case reduce::ExactOutcome::Converted:
        ImageBytes = static_cast<DWORD>(result.newSize);
        InvalidateScreenPalette();
        RepaintWindow(mainWindow);
        break;
    case reduce::ExactOutcome::NotTrueColour:
        Report(mainWindow, kAlready256Text, MB_ICONINFORMATION);
        break;
    case reduce::ExactOutcome::TooManyColours:
        Report(mainWindow, kTooManyColoursText, MB_ICONERROR);
        break;
    case reduce::ExactOutcome::UnsupportedLayout:
        Report(mainWindow, kUnsupportedLayoutText, MB_ICONERROR);
        break;
    case reduce::ExactOutcome::Truncated:
        Report(mainWindow, kTruncatedImageText, MB_ICONERROR);
        break;
    case reduce::ExactOutcome::NoMemory:
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        break;
    }
}
