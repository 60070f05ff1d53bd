#include "win/reduce/exact_command.h"

#include <cstring>
#include <vector>

#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/exact_reduction.h"
#include "win/document/document.h"
#include "win/document/frames.h"

// The frames of an animation, one above the other, as one plain 24-bit file image: what
// exact reduction takes, so that the colours of all of them are counted together.
static std::vector<BYTE> StackedFrames() {
    const std::vector<BYTE>& first = Frames.images[0];
    const std::size_t rowsBytes = first.size() - bmp::kHeadersSize;
    std::vector<BYTE> stack(bmp::kHeadersSize + rowsBytes * Frames.images.size());
    std::memcpy(stack.data(), first.data(), bmp::kHeadersSize);
    const std::uint32_t height = bmp::ReadU32(first.data() + bmp::kBiHeight);
    bmp::WriteU32(stack.data() + bmp::kBiHeight,
                  height * static_cast<std::uint32_t>(Frames.images.size()));
    bmp::WriteU32(stack.data() + bmp::kBiSizeImage,
                  static_cast<std::uint32_t>(rowsBytes * Frames.images.size()));
    bmp::WriteU32(stack.data() + bmp::kBfSize, static_cast<std::uint32_t>(stack.size()));
    // Stored bottom-up: the first frame's rows are stored first, then the next frame's.
    for (std::size_t f = 0; f < Frames.images.size(); ++f) {
        std::memcpy(stack.data() + bmp::kHeadersSize + f * rowsBytes,
                    Frames.images[f].data() + bmp::kHeadersSize, rowsBytes);
    }
    return stack;
}

// Exact reduction of every frame of an animation at once: at most 256 colours in all of them
// together, one colour table. The frames are changed only when all of them are converted.
static quantize::Outcome ReduceFrames() {
    if (Frames.images[0].size() <= bmp::kHeadersSize || Frames.images[0][bmp::kBiBitCount] != 24) {
        return quantize::Outcome::AlreadyIndexed;
    }
    std::vector<BYTE> stack = StackedFrames();
    const quantize::Result result =
        quantize::ReduceExact(stack.data(), stack.size(), [&stack](std::uint64_t size) {
            stack.resize(static_cast<std::size_t>(size));
            return quantize::ResizeResult{stack.data(), true};
        });
    if (result.outcome != quantize::Outcome::Converted) {
        return result.outcome;
    }
    const std::uint32_t width = bmp::ReadU32(stack.data() + bmp::kBiWidth);
    const std::uint32_t height = bmp::ReadU32(Frames.images[0].data() + bmp::kBiHeight);
    const std::size_t padded = (std::size_t{width} + 3) & ~std::size_t{3};
    BYTE table[3 * 256];
    quantize::CopyToRgbTable(quantize::PaletteOfColourTable(stack.data() + bmp::kHeadersSize),
                             table);
    const BYTE* rows = stack.data() + bmp::kHeadersSize + 1024;
    std::vector<std::vector<BYTE>> converted(Frames.images.size());
    std::vector<BYTE> indices(std::size_t{width} * height);
    for (std::size_t f = 0; f < converted.size(); ++f) {
        for (std::uint32_t y = 0; y < height; ++y) { // the top row first
            std::memcpy(indices.data() + std::size_t{y} * width,
                        rows + (f * height + height - 1 - y) * padded, width);
        }
        converted[f] = IndexedFrameImage(Frames.images[f], indices.data(), table, 256, false);
    }
    return TakeConvertedFrames(converted) ? quantize::Outcome::Converted
                                          : quantize::Outcome::NoMemory;
}

// Exact reduction of the document alone.
static quantize::Outcome ReduceDocument() {
    auto* data = static_cast<std::uint8_t*>(GlobalLock(ImageBuffer));
    if (data == nullptr) {
        return quantize::Outcome::NoMemory;
    }
    // The resizer may give the block a new handle: unlock whatever ImageBuffer is now.
    const quantize::Result result = quantize::ReduceExact(data, ImageBytes, DocumentResizer());
    GlobalUnlock(ImageBuffer);
    if (result.outcome == quantize::Outcome::Converted) {
        ImageBytes = static_cast<DWORD>(result.newSize);
    }
    return result.outcome;
}

void ExactReductionCommand(HWND mainWindow) {
    if (ImageBuffer == nullptr || !ImageIsFree(mainWindow)) {
        return;
    }
    const quantize::Outcome outcome = HasFrames() ? ReduceFrames() : ReduceDocument();
    if (outcome != quantize::Outcome::Converted) {
        ReportRefusal(mainWindow, outcome);
        return;
    }
    Kind.paletteEntries = 256;
    Kind.keyTransparent = false;
    Kind.unsaved = true;
    ShowTitle(mainWindow);
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}
