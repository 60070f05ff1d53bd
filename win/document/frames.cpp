#include "win/document/frames.h"

#include <cstring>
#include <new>

#include "win/app/owners.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/image/rgba.h"
#include "core/quantize/bmp_writer.h"
#include "core/text/texts.h"
#include "win/document/document.h"

// Space compares with the frame as opened or saved: the one kept before the conversion, or
// the frame itself when nothing converted it since.
static void KeepFrameToCompare(std::size_t index) {
    if (Frames.before.size() != Frames.images.size()) {
        KeepComparisonCopy();
        return;
    }
    DropComparisonCopy();
    const std::vector<BYTE>& before = Frames.before[index];
    ComparisonImage = BlockHolding(before.data(), before.size());
    ComparisonBytes = ComparisonImage != nullptr ? static_cast<DWORD>(before.size()) : 0;
}

bool ShowFrame(HWND mainWindow, std::size_t index) {
    const std::vector<BYTE>& frame = Frames.images[index];
    HGLOBAL block = BlockHolding(frame.data(), frame.size());
    if (block == nullptr) {
        Report(mainWindow, kNoMemoryText, MB_ICONWARNING);
        return false;
    }
    GlobalFree(ImageBuffer);
    ImageBuffer = block;
    ImageBytes = static_cast<DWORD>(frame.size());
    Frames.shown = index;
    InvalidateScreenCache();
    KeepFrameToCompare(index);
    ShowTitle(mainWindow);
    RepaintWindow(mainWindow);
    return true;
}

bool StepFrame(HWND mainWindow, int delta) {
    if (!HasFrames()) {
        return false;
    }
    if (ImageIsFree(mainWindow)) {
        const std::size_t count = Frames.images.size();
        const std::size_t step = static_cast<std::size_t>(delta < 0 ? count - 1 : 1);
        ShowFrame(mainWindow, (Frames.shown + step) % count);
    }
    return true;
}

bool MayTakeFrameShownOnly(HWND owner) {
    if (!HasFrames()) {
        return true;
    }
    if (Report(owner, kFrameShownOnlyText, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
        return false;
    }
    Frames = FrameSet{};
    ShowTitle(owner);
    return true;
}

std::vector<BYTE> IndexedFrameImage(const std::vector<BYTE>& frame, const BYTE* indices,
                                    const BYTE* table, int entries, bool key) {
    quantize::IndexedImage view;
    std::memcpy(view.table.data(), table, view.table.size());
    view.entries = entries;
    view.key = key;
    return quantize::Bmp8OfIndices(bmp::ReadU32(frame.data() + bmp::kBiWidth),
                                   bmp::ReadU32(frame.data() + bmp::kBiHeight), indices, view);
}

bool TakeConvertedFrames(std::vector<std::vector<BYTE>>& converted) {
    const std::vector<BYTE>& shown = converted[Frames.shown];
    HGLOBAL block = BlockHolding(shown.data(), shown.size());
    if (block == nullptr) {
        return false;
    }
    GlobalFree(ImageBuffer);
    ImageBuffer = block;
    ImageBytes = static_cast<DWORD>(shown.size());
    if (Frames.before.empty()) {
        Frames.before.swap(Frames.images);
    }
    Frames.images.swap(converted);
    return true;
}

void MarkFramesSaved() {
    std::vector<std::vector<BYTE>>().swap(Frames.before);
}

// The indices of one 8-bit frame, the top row first; the first frame gives the size and
// palette, which every other must have.
static bool ViewFrame(const BYTE* bytes, std::size_t size, IndexedAnimation& animation,
                      std::vector<BYTE>& indices) {
    const auto view = quantize::ViewPlainBmp(bytes, size, Kind.paletteEntries, Kind.keyTransparent);
    if (!view || view->bits != 8) {
        return false;
    }
    if (animation.frames.empty()) {
        animation.width = static_cast<UINT>(view->width);
        animation.height = static_cast<UINT>(view->rows);
        animation.table = view->table;
        animation.entries = view->entries;
        animation.key = view->key;
    } else if (view->width != animation.width || view->rows != animation.height ||
               view->table != animation.table) {
        return false;
    }
    indices.resize(static_cast<std::size_t>(view->width * view->rows));
    for (std::uint64_t y = 0; y < view->rows; ++y) {
        std::memcpy(indices.data() + y * view->width, view->TopRow(y),
                    static_cast<std::size_t>(view->width));
    }
    return true;
}

bool FramesToWrite(IndexedAnimation& animation) {
    animation = IndexedAnimation{};
    if (!HasFrames()) {
        const LockedBlock<const BYTE> bytes(ImageBuffer);
        std::vector<BYTE> indices;
        if (bytes.get() == nullptr || !ViewFrame(bytes.get(), ImageBytes, animation, indices)) {
            return false;
        }
        animation.frames.push_back(std::move(indices));
        animation.delays.push_back(0);
        return true;
    }
    for (const std::vector<BYTE>& frame : Frames.images) {
        std::vector<BYTE> indices;
        if (!ViewFrame(frame.data(), frame.size(), animation, indices)) {
            return false;
        }
        animation.frames.push_back(std::move(indices));
    }
    animation.delays = Frames.delays;
    animation.loop = Frames.loop;
    return true;
}
