// The status bar at the foot of the main window: the image's size, its bits a pixel, the
// number of distinct colours and the zoom. The colours are counted once for each load or
// conversion (DocumentChanges), when the bar is next brought up to date.
#pragma once

#include <windows.h>

#include "core/bmp/layout.h"

// Creates the bar as a child of the main window, shown when the settings say so.
void CreateStatusBar(HWND mainWindow);
// The bar's own sizing, after the main window's size changed.
void PlaceStatusBar();
// Shows or hides the bar (ステータスバー of the 表示 menu) and keeps the choice in the settings.
void ShowStatusBar(HWND mainWindow, bool shown);

// The part of the client area the image is shown in: all of it above the bar.
void ViewArea(HWND mainWindow, RECT& area);

// Brings the texts up to date for the document of this plan (without a header: no document).
void UpdateStatusBar(const BYTE* image, DWORD bytes, const bmp::DrawPlan& plan);

// The bar's window, for tests; null before it is created.
HWND StatusBarWindow();
