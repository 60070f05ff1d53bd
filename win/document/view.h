// How the main window shows the document: the zoom, and whether the image as it was last
// opened or saved is shown in its place while Space is held.
#pragma once

#include <windows.h>

struct ViewState {
    int zoom = 100;           // percent of the image's own pixels
    bool fitToWindow = false; // the zoom follows the window's size
    bool comparing = false;   // Space is held: the comparison copy is shown
    bool toldNoCopy = false;  // the missing comparison copy was told for this document
};
extern ViewState View;

// The zoom steps of the menu, Ctrl+wheel and Ctrl++ / Ctrl+-, smallest first.
inline constexpr int kZoomSteps[] = {50, 100, 200, 400};
inline constexpr int kMinZoom = 1;
inline constexpr int kMaxZoom = 400;

// An extent of the image in window pixels at the current zoom: at least 1 for a non-empty
// image, and never beyond what a scroll bar holds.
int ZoomedExtent(long long extent);
// A distance inside the image (a row or column count) at the current zoom, rounded down.
long long ZoomedOffset(long long offset);

// The next zoom step above (direction > 0) or below the current zoom, or the zoom itself at
// either end.
int NextZoomStep(int zoom, int direction);

// The largest zoom at which an image of width x height fits a client area, from kMinZoom to
// kMaxZoom.
int FittingZoom(long long width, long long height, LONG clientWidth, LONG clientHeight);
