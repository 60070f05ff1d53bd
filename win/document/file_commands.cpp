#include "win/document/file_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "win/app/owners.h"
#include "win/app/seams.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/quantize/bmp_writer.h"
#include "core/quantize/fewer_bits.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "win/document/animation_codec.h"
#include "win/document/codecs.h"
#include "win/document/document.h"
#include "win/document/file_io.h"
#include "win/document/frames.h"
#include "win/document/view.h"
#include "win/palette/user_palette.h"
#include "win/res/resource.h"

// The bits a pixel an 8-bit image is written with: 高画質の設定's ビット数 when every index
// its pixels take fits them, else 8. BMP has no 2-bit form and takes 4 for it; 自動 is the
// fewest that hold the indices for PNG, and 8 for BMP, as some readers take only 8-bit BMP.
static int BitsToWrite(const quantize::IndexedImage& image, bool png) {
    const int wanted = QualityBitCount();
    if (image.bits != 8 || wanted == 8 || (wanted == 0 && !png)) {
        return 8;
    }
    const int highest = quantize::HighestIndex(image);
    const int bits =
        wanted == 0 ? quantize::BitsHolding(highest) : (!png && wanted == 2 ? 4 : wanted);
    return highest >> bits == 0 ? bits : 8;
}

// The file of the document in `bits` (1, 2 or 4) a pixel, from a copy of it: a BMP with a
// colour table of 2^bits entries, or a PNG whose palette holds the entries up to the highest
// index used. False when the PNG cannot be made.
static bool PackDocument(const BYTE* document, bool png, int bits, std::vector<BYTE>& file) {
    std::vector<BYTE> copy(document, document + ImageBytes);
    auto view = quantize::ViewPlainBmp(copy.data(), copy.size(), Kind.paletteEntries,
                                       Kind.keyTransparent, Kind.translucent);
    if (view) {
        view->keyStep = Kind.keyStep;
    }
    if (!png) {
        copy.resize(static_cast<std::size_t>(quantize::PackBmpInPlace(copy.data(), *view, bits)));
        file.swap(copy);
        return true;
    }
    const int highest = quantize::HighestIndex(*view);
    BYTE* pixels = copy.data() + (view->indices - copy.data());
    quantize::IndexedImage packed = quantize::PackInPlace(*view, pixels, bits);
    packed.entries = std::min(packed.entries, highest + 1);
    return EncodePng(packed, file);
}

// Writes the document's frames (or the still image) under `path` as a GIF; frames not yet
// converted to 8 bits on one palette are refused.
static bool WriteAnimation(HWND owner, const char* path, const char* createFailedText) {
    IndexedAnimation animation;
    if (!FramesToWrite(animation)) {
        Report(owner, kGifNeedsIndexedText, MB_ICONWARNING);
        return false;
    }
    std::vector<BYTE> file;
    if (!EncodeAnimation(animation, file)) {
        Report(owner, createFailedText, MB_ICONWARNING);
        return false;
    }
    return WriteFileSafely(owner, path, file.data(), static_cast<DWORD>(file.size()),
                           createFailedText, kWriteFailedText, MB_ICONWARNING);
}

// Writes the document under `path`: as PNG for a .png name, else as the BMP it is; an 8-bit
// image with the bits a pixel ビット数 asks for when its indices fit them. A document decoded
// from an image of another kind is refused under any other name (it would be written as a BMP
// over, say, the JPEG it came from).
static bool WriteDocument(HWND owner, const char* path, const char* createFailedText) {
    const bool png = HasExtension(path, ".png");
    if (!png && Kind.translucent) {
        Report(owner, kAlphaNeedsPngText, MB_ICONWARNING);
        return false;
    }
    if (HasExtension(path, ".gif")) {
        return WriteAnimation(owner, path, createFailedText);
    }
    if (!png && Kind.decoded && !HasExtension(path, ".bmp")) {
        Report(owner, kSaveAsBmpOrPngText, MB_ICONWARNING);
        return false;
    }
    if (HasFrames()) {
        Report(owner, kFrameShownSavedText, MB_ICONINFORMATION);
    }
    const LockedBlock<const BYTE> bytes(ImageBuffer);
    auto indexed = bytes.get()
                       ? quantize::ViewPlainBmp(bytes.get(), ImageBytes, Kind.paletteEntries,
                                                Kind.keyTransparent, Kind.translucent)
                       : std::nullopt;
    if (indexed) {
        indexed->keyStep = Kind.keyStep;
    }
    const int bits = indexed ? BitsToWrite(*indexed, png) : 8;
    if (!png && bits == 8) {
        return WriteFileSafely(owner, path, bytes.get(), ImageBytes, createFailedText,
                               kWriteFailedText, MB_ICONWARNING);
    }
    if (!indexed) {
        Report(owner, kCannotWritePngText, MB_ICONWARNING);
        return false;
    }
    std::vector<BYTE> file;
    if (bits == 8 ? !EncodePng(*indexed, file) : !PackDocument(bytes.get(), png, bits, file)) {
        Report(owner, createFailedText, MB_ICONWARNING);
        return false;
    }
    return WriteFileSafely(owner, path, file.data(), static_cast<DWORD>(file.size()),
                           createFailedText, kWriteFailedText, MB_ICONWARNING);
}

image::AlphaRule AlphaRuleOfSettings() {
    image::AlphaRule rule;
    if (QualityKey && FixedCount >= 1 && SavedPalette != nullptr) {
        const LockedBlock<const BYTE> table(SavedPalette);
        if (table.get() != nullptr) {
            rule.keyed = true;
            std::memcpy(rule.key, table.get(), 3); // blue, green, red
        }
    }
    rule.kept = QualityAlpha != 0;
    return rule;
}

// An animation's frames are true colour without alpha, whatever 透明度を保つ says.
static image::AlphaRule FramesAlphaRule() {
    image::AlphaRule rule = AlphaRuleOfSettings();
    rule.kept = false;
    return rule;
}

// A PNG, JPEG, GIF or TIFF file's bytes turn into the plain 24-bit BMP of its pixels, in a
// block of its own (a GIF of several frames: its first frame, every frame in `frames`); the
// bytes' block is freed either way. Null, with the failure told, when the image cannot be
// decoded.
static HGLOBAL DecodeBlock(HWND mainWindow, HGLOBAL fileBlock, DWORD fileBytes, DWORD& bytes,
                           DecodedFrames& frames) {
    HGLOBAL decoded = nullptr;
    DecodeResult result = DecodeResult::NoMemory;
    bool animation = false; // a GIF of frames past what the program holds
    {
        const LockedBlock<const BYTE> file(fileBlock);
        // A GIF of one frame, or one WIC cannot read as frames, is read as a still image.
        bool still = file.get() != nullptr;
        if (still && fileBytes >= 4 && std::memcmp(file.get(), "GIF8", 4) == 0) {
            result = DecodeAnimation(file.get(), fileBytes, FramesAlphaRule(), frames);
            animation = result == DecodeResult::TooLarge;
            still = frames.images.empty() &&
                    (result == DecodeResult::Decoded || result == DecodeResult::CannotRead);
        }
        if (!frames.images.empty()) {
            decoded = BlockHolding(frames.images[0].data(), frames.images[0].size());
            bytes = static_cast<DWORD>(frames.images[0].size());
            result = decoded != nullptr ? DecodeResult::Decoded : DecodeResult::NoMemory;
        } else if (still) {
            result = DecodeImage(file.get(), fileBytes, AlphaRuleOfSettings(), decoded, bytes);
        }
    }
    GlobalFree(fileBlock);
    if (result != DecodeResult::Decoded) {
        Report(mainWindow,
               animation                          ? kAnimationTooLargeText
               : result == DecodeResult::TooLarge ? kTooLargeText
               : result == DecodeResult::NoMemory ? kNoMemoryText
                                                  : kCannotReadText,
               MB_ICONWARNING);
    }
    return decoded;
}

// Whether a block holds the bytes of an image the codecs read.
static bool HoldsCodecImage(HGLOBAL block, DWORD size) {
    const LockedBlock<const BYTE> bytes(block);
    return bytes.get() != nullptr && IsCodecImage(bytes.get(), size);
}

// Frees the document's block; the window shows its background until the next load.
static void ReleaseDocument(HWND mainWindow) {
    GlobalFree(ImageBuffer);
    ImageBuffer = nullptr;
    ImageBytes = 0;
    InvalidateScreenCache();
    RepaintWindow(mainWindow);
}

// Whether releasing the document could make room for `size` bytes: the process's free
// address space and the document's own block must hold them together.
static bool RoomOnceReleased(SIZE_T size) {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return true;
    }
    return size <= status.ullAvailVirtual + GlobalSize(ImageBuffer);
}

// A new block for the image. When memory cannot hold it beside the document, the document
// goes first, but only when that could make room and the user agrees; `declined` tells
// that the user said no. Null when there is no block; the document is then as it was,
// unless the user gave it up.
static HGLOBAL AllocateImageBlock(HWND mainWindow, SIZE_T size, bool& declined) {
    declined = false;
    HGLOBAL block = Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block == nullptr && ComparisonImage != nullptr) {
        // The copy kept for comparing goes before anything the user has.
        DropComparisonCopy();
        block = Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    }
    if (block != nullptr || ImageBuffer == nullptr || !RoomOnceReleased(size)) {
        return block;
    }
    if (Report(mainWindow, kReleaseToLoadText, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        declined = true;
        return nullptr;
    }
    ReleaseDocument(mainWindow);
    return Files.allocate(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
}

// Reads `size` bytes of the open file into a new block. The new image is read completely
// before the old one is released, so that a failed read leaves the document as it was. An
// empty file still gets a block. Null, with the failure told, when the image could not be
// read (or the user would not give up the document for it).
static HGLOBAL ReadIntoNewBlock(HWND mainWindow, HANDLE file, DWORD size) {
    bool declined = false;
    HGLOBAL block = AllocateImageBlock(mainWindow, size ? size : 1, declined);
    if (declined) {
        return nullptr;
    }
    const char* failure = nullptr;
    if (block == nullptr) {
        failure = kNoMemoryText;
    } else {
        const LockedBlock<BYTE> bytes(block);
        DWORD got = 0;
        if (bytes.get() == nullptr) {
            failure = kNoMemoryText;
        } else if (size != 0 &&
                   (!Files.read(file, bytes.get(), size, &got, nullptr) || got != size)) {
            failure = kCannotReadText;
        }
    }
    if (failure != nullptr) {
        if (block != nullptr) {
            GlobalFree(block);
        }
        Report(mainWindow, failure, MB_ICONWARNING);
        return nullptr;
    }
    return block;
}

// A file that loads but cannot be shown would leave the window blank without a word: say why.
// One cut short is drawn as far as its rows reach, and said to be cut short all the same.
static void TellWhyNotShown(HWND mainWindow) {
    const char* why = nullptr;
    {
        const LockedBlock<const BYTE> document(ImageBuffer);
        const DWORD size = document.get() ? ImageBytes : 0;
        const bmp::DrawPlan plan = bmp::PlanDrawing(document.get(), size);
        why = !plan.drawable                                ? text::NotShownText(plan.problem)
              : bmp::IsCutShort(document.get(), size, plan) ? kCutShortText
                                                            : nullptr;
    }
    if (why != nullptr) {
        Report(mainWindow, why, MB_ICONWARNING);
    }
}

void AdoptImage(HWND mainWindow, HGLOBAL block, DWORD bytes, bool decoded) {
    if (ImageBuffer != nullptr) {
        GlobalFree(ImageBuffer);
    }
    InvalidateScreenCache();
    ImageBuffer = block;
    ImageBytes = bytes;
    Kind = DocumentKind{};
    Kind.decoded = decoded;
    Frames = FrameSet{};
    ImageLoaded = 1;
    KeepComparisonCopy();
    View.toldNoCopy = false;
    ShowTitle(mainWindow);
    RepaintWindow(mainWindow);
    TellWhyNotShown(mainWindow);
}

bool LoadCurrentFile(HWND mainWindow, bool chain) {
    FileHandle file(Files.create(CurrentFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        Report(mainWindow, kCannotOpenText, MB_ICONWARNING);
        return false;
    }
    DWORD high = 0;
    SetLastError(NO_ERROR); // a size of 0xFFFFFFFF is a failure only with an error set
    const DWORD size = Files.getSize(file.get(), &high);
    if (high != 0) {
        file.Close();
        Report(mainWindow, kTooLargeText, MB_ICONWARNING);
        return false;
    }
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        file.Close();
        Report(mainWindow, kCannotReadText, MB_ICONWARNING);
        return false;
    }
    HGLOBAL block = ReadIntoNewBlock(mainWindow, file.get(), size);
    file.Close();
    if (block == nullptr) {
        return false;
    }
    // A BMP, and anything the codecs do not know, is the document as it is.
    DWORD bytes = size;
    DecodedFrames frames;
    const bool decoded = HoldsCodecImage(block, size);
    if (decoded && (block = DecodeBlock(mainWindow, block, size, bytes, frames)) == nullptr) {
        return false;
    }
    AdoptImage(mainWindow, block, bytes, decoded);
    if (!frames.images.empty()) {
        Frames.images.swap(frames.images);
        Frames.delays.swap(frames.delays);
        Frames.loop = frames.loop;
        ShowTitle(mainWindow);
    }
    if (chain && AutoReduce) {
        SendMessageA(mainWindow, WM_COMMAND, IDM_REDUCE_EXACT, 0);
    }
    return true;
}

// After a refused load the document still belongs to the earlier file: keep its name, so
// that Save never writes that image over the file that could not be loaded. With
// KeepReadOnly on, a read-only file is refused here: Wine's open dialog lets one through,
// and a drop asks nothing.
static void LoadOrKeepName(HWND mainWindow, const char* previousName) {
    if (KeepReadOnly && IsReadOnlyFile(CurrentFileName)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        Report(mainWindow, kReadOnlyNotOpenedText, MB_ICONWARNING);
        return;
    }
    if (!LoadCurrentFile(mainWindow, true) && ImageBuffer != nullptr) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
    }
}

// Whether Save can write the document over its own file: it has one, the file may be
// written, and a decoded image's name says BMP or PNG (or GIF, for an animation).
static bool CanSaveInPlace() {
    return CurrentFileName[0] != '\0' && !IsReadOnlyFile(CurrentFileName) &&
           (!Kind.decoded || HasExtension(CurrentFileName, ".bmp") ||
            HasExtension(CurrentFileName, ".png") ||
            (HasFrames() && HasExtension(CurrentFileName, ".gif")));
}

bool MayLeaveDocument(HWND mainWindow) {
    if (!Kind.unsaved || NoUnsavedPrompt) {
        return true;
    }
    switch (Report(mainWindow, kSaveChangesText, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return CanSaveInPlace() ? SaveCommand(mainWindow) : SaveAsCommand(mainWindow);
    case IDNO:
        return true;
    }
    return false;
}

void OpenCommand(HWND mainWindow) {
    if (!ImageIsFree(mainWindow) || !MayLeaveDocument(mainWindow)) {
        return;
    }
    char previousName[MAX_PATH];
    std::memcpy(previousName, CurrentFileName, MAX_PATH);
    if (!ChooseImageFile(CurrentFileName, mainWindow, 1)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        return;
    }
    LoadOrKeepName(mainWindow, previousName);
}

void DropCommand(HWND mainWindow, HDROP drop) {
    if (!ImageIsFree(mainWindow)) {
        FinishDrop(drop);
        return;
    }
    const UINT length = QueryDroppedFile(drop, 0, nullptr, 0);
    if (length >= MAX_PATH) {
        Report(mainWindow, kNameTooLongText, MB_ICONWARNING);
    } else if (length > 0 && MayLeaveDocument(mainWindow)) {
        // Taken after the question: saving may have named the document.
        char previousName[MAX_PATH];
        std::memcpy(previousName, CurrentFileName, MAX_PATH);
        if (QueryDroppedFile(drop, 0, CurrentFileName, MAX_PATH) > 0) {
            LoadOrKeepName(mainWindow, previousName);
        } else {
            std::memcpy(CurrentFileName, previousName, MAX_PATH);
        }
    }
    FinishDrop(drop);
}

void ReloadCommand(HWND mainWindow) {
    // A pasted image has no file to read again.
    if (!ImageLoaded || CurrentFileName[0] == '\0' || !ImageIsFree(mainWindow) ||
        !MayLeaveDocument(mainWindow)) {
        return;
    }
    LoadCurrentFile(mainWindow, false);
}

// The saved image is the one Space compares with from now on.
static void MarkSaved(HWND mainWindow) {
    Kind.unsaved = false;
    MarkFramesSaved();
    KeepComparisonCopy();
    ShowTitle(mainWindow);
}

// With no image there is nothing to save: Save and Save as do nothing, and touch no file.
bool SaveCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return false;
    }
    if (CurrentFileName[0] == '\0') {
        return SaveAsCommand(mainWindow); // a pasted image gets its name now
    }
    if (!WriteDocument(mainWindow, CurrentFileName, kCannotOverwriteText)) {
        return false;
    }
    MarkSaved(mainWindow);
    return true;
}

// A decoded image is offered the name of its file as a PNG: it is written as BMP or PNG only
// (an animation keeps its GIF's name).
static void OfferWritableName(char* name) {
    if (!Kind.decoded || name[0] == '\0' || HasExtension(name, ".bmp") ||
        HasExtension(name, ".png") || (HasFrames() && HasExtension(name, ".gif"))) {
        return;
    }
    char* end = name + std::strlen(name);
    for (char* p = name; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            end = name + std::strlen(name); // a dot before here is a folder's
        } else if (*p == '.') {
            end = p;
        }
    }
    if (static_cast<std::size_t>(end - name) + sizeof ".png" <= MAX_PATH) {
        std::memcpy(end, ".png", sizeof ".png");
    }
}

bool SaveAsCommand(HWND mainWindow) {
    if (!HasDocument() || !ImageIsFree(mainWindow)) {
        return false;
    }
    char previousName[MAX_PATH];
    std::memcpy(previousName, CurrentFileName, MAX_PATH);
    OfferWritableName(CurrentFileName);
    // A refused save leaves the name as it was: Save and Reload still mean the user's file.
    if (!ChooseImageFile(CurrentFileName, mainWindow, 0) ||
        !WriteDocument(mainWindow, CurrentFileName, kCannotSaveText)) {
        std::memcpy(CurrentFileName, previousName, MAX_PATH);
        return false;
    }
    MarkSaved(mainWindow);
    return true;
}

void CloseCommand(HWND mainWindow) {
    SendMessageA(mainWindow, WM_CLOSE, 0, 0);
}
