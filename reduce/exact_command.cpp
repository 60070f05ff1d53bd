#include "reduce/exact_command.h"

#include "app/app.h"
#include "document/image_buffer.h"
#include "document/main_window.h"
#include "reduce/diffusion_command.h"
#include "reduce/exact_reduction.h"
#include "res/texts.h"

void ReportRefusal(HWND owner, const reduce::Refusal& refusal) {
    UINT type = MB_ICONERROR;
    if (refusal.kind == reduce::RefusalKind::AlreadyIndexed) {
        type = MB_ICONINFORMATION;
    } else if (refusal.kind == reduce::RefusalKind::NoMemory) {
        type = MB_ICONWARNING;
    }
    Report(owner, refusal.text, type);
}

reduce::Resizer DocumentResizer() {
    return [](std::uint64_t size) {
        if (size == 0 || size > 0xFFFFFFFFu) {
            return reduce::ResizeResult{static_cast<std::uint8_t*>(GlobalLock(ImageBuffer)), false};
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
    if (result.outcome != reduce::ExactOutcome::Converted) {
        ReportRefusal(mainWindow, reduce::RefusalOf(result.outcome));
        return;
    }
    ImageBytes = static_cast<DWORD>(result.newSize);
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}
