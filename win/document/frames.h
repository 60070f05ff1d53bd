// The frames of an animation in the window: showing and stepping through them, keeping the
// frame shown only, taking the frames a conversion made, and the frames to write as a GIF.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "win/document/animation_codec.h"

// Makes frame `index` the document (a copy of it) and what Space compares with its frame as
// opened or saved; the title says which. False, told, when memory cannot hold the copy: the
// frame shown stays.
bool ShowFrame(HWND mainWindow, std::size_t index);

// Steps `delta` frames on, from the last round to the first and back; false without an
// animation (the key is then the view's). A run in progress refuses it, told.
bool StepFrame(HWND mainWindow, int delta);

// Whether a command that takes the frame shown only may go on: always for a still image; for
// an animation when the user answers kFrameShownOnlyText with OK, the frame shown then being
// the document alone, a still image.
bool MayTakeFrameShownOnly(HWND owner);

// The 8-bit BMP file image of a frame of indices (width x height, the top row first) on
// `table` (red, green, blue) of which `entries` are used, of the size of the frame's plain 8-
// or 24-bit file image `frame`. May throw std::bad_alloc.
std::vector<BYTE> IndexedFrameImage(const std::vector<BYTE>& frame, const BYTE* indices,
                                    const BYTE* table, int entries, bool key);

// After a conversion of every frame, on the worker: the frames take `converted`'s place (those
// before kept for comparing), and the document becomes a copy of the frame shown. False when
// memory cannot hold the copy; nothing is changed then.
bool TakeConvertedFrames(std::vector<std::vector<BYTE>>& converted);

// After a save: the frames as they are now are what Space compares with.
void MarkFramesSaved();

// The document's frames (an animation's, or the still image alone) as indexed frames on their
// palette, to write as a GIF; false when a frame is not an 8-bit image (nothing converted yet)
// or the frames are not on one palette.
bool FramesToWrite(IndexedAnimation& animation);
