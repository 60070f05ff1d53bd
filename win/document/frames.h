// The frames of an animation in the window: showing and stepping through them, and the
// frames to write as a GIF.
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

// After a save: the frames as they are now are what Space compares with.
void MarkFramesSaved();

// The document's frames (an animation's, or the still image alone) as indexed frames on their
// palette, to write as a GIF; false when a frame is not an 8-bit image (nothing converted yet)
// or the frames are not on one palette.
bool FramesToWrite(IndexedAnimation& animation);
