// The document: one whole BMP file image in a movable global memory block, the file it came
// from, what painting keeps of it, and whether a conversion run owns it.
#pragma once

#include <windows.h>

#include <vector>

#include "core/quantize/outcome.h"

extern HGLOBAL ImageBuffer;            // the file image, or null before the first load
extern DWORD ImageBytes;               // number of valid bytes in ImageBuffer
extern int ImageLoaded;                // set by the first successful load, never cleared
extern char CurrentFileName[MAX_PATH]; // full path of the document's file

// What the document is besides its bytes: whether it was decoded from an image of another
// kind (such a document is written as BMP or PNG only, by the name), and how it is written as
// PNG: the palette entries its last conversion asked for, entry 0 transparent for a key colour.
struct DocumentKind {
    bool decoded = false;
    int paletteEntries = 256;
    bool keyTransparent = false;
    int keyStep = 0; // with keyTransparent, entries keyStep, 2 * keyStep ... too (tile palettes)
    // An 8-bit image whose colour table holds each entry's alpha in its fourth byte: written as
    // PNG with it, never as BMP.
    bool translucent = false;
    bool unsaved = false; // a conversion changed the image since it was opened or saved
};
extern DocumentKind Kind;

// The frames of an animation (a GIF of more than one frame), each the BMP file image of its
// whole picture: 24-bit as opened, 8-bit on one palette once converted. The document is a copy
// of the frame shown. `before` holds the frames as opened or last saved while a conversion has
// changed them (what Space compares with), else nothing. No frames: a still image.
struct FrameSet {
    std::vector<std::vector<BYTE>> images, before;
    std::vector<int> delays; // milliseconds
    int loop = -1;           // the loop count a GIF gives, or -1
    std::size_t shown = 0;
};
extern FrameSet Frames;
inline bool HasFrames() {
    return Frames.images.size() > 1;
}

// The main window's title: "Tintwright - NAME" (the file's name alone), then " (k/n)" for the
// frame shown of an animation, with " *" while a conversion is unsaved, or "Tintwright"
// without a document.
void ShowTitle(HWND mainWindow);

// True when there is a document to paint, save or convert.
inline bool HasDocument() {
    return ImageLoaded && ImageBuffer != nullptr;
}

// The palette selected for painting a palettised image, built from its colour table on the
// first paint after a load or conversion.
struct ScreenPaletteState {
    HPALETTE object;
    BOOL built;
};
extern ScreenPaletteState ScreenPalette;

// Run-length encoded pixels unpacked for drawing, kept beside the display palette until the
// next load or conversion, so that scrolling does not unpack the whole image again; so are the
// pixels of an image with transparency.
struct ScreenRowsState {
    std::vector<BYTE> pixels;
    bool tried = false; // unpacked, or given up when memory ran out: not tried again
    // An image with transparency's pixels as they are blended over the checkerboard, made on
    // the first paint; empty for an image without.
    std::vector<BYTE> blended;
    bool blendTried = false;
};
extern ScreenRowsState ScreenRows;

// Drops what painting keeps of the image, the palette and any unpacked run-length rows, so
// that the next paint builds them afresh from the current document; and counts the change in
// DocumentChanges, for what else is kept of the document (the status bar's colour count).
void InvalidateScreenCache();
extern unsigned DocumentChanges;

// A new movable block holding a copy of `size` bytes; null when memory cannot hold it.
HGLOBAL BlockHolding(const void* bytes, SIZE_T size);

// A copy of the document as it was last opened or saved, shown while Space is held, with what
// painting keeps of it. Null when memory could not hold it beside the document.
extern HGLOBAL ComparisonImage;
extern DWORD ComparisonBytes;
extern ScreenPaletteState ComparisonPalette;
extern ScreenRowsState ComparisonRows;

// Replaces the comparison copy by a copy of the document as it is now; without one when
// memory is short.
void KeepComparisonCopy();
void DropComparisonCopy();
// Before a conversion: the copy gives way when the free address space would not hold the
// conversion's working memory (twice the image, and some) beside it.
void LeaveRoomToConvert();

// True from the start of an error-diffusion run until its worker has closed the conversion
// window: the image belongs to the worker then, and nothing else may touch it.
bool ConversionInProgress();
void SetConversionInProgress(bool running);

// Refuses a command that would touch the image while a run is in progress, telling the
// user so; true when the command may go on.
bool ImageIsFree(HWND owner);

// A resizer over the document's global block: unlocks it, reallocates it and locks it again.
// The block is locked once whenever the resizer is called, and again when it returns.
// ImageBytes never exceeds the block's size, also while it shrinks.
quantize::Resizer DocumentResizer();
