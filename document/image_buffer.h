// The document: one whole BMP file image in a movable global memory block.
#pragma once

#include <windows.h>

extern HGLOBAL ImageBuffer; // the file image, or null before the first load
extern DWORD ImageBytes;    // number of valid bytes in ImageBuffer
extern int ImageLoaded;     // set by the first successful load, never cleared

// True when there is a document to paint, save or convert.
inline bool HasDocument() {
    return ImageLoaded && ImageBuffer != nullptr;
}
