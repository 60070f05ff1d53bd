// The error-diffusion menu command and its worker thread.
#pragma once

#include <windows.h>

extern LONG RunFixedCount; // fixed colours of the current run

// Asks about the fixed palette, opens the palette dialog the first time it is wanted,
// creates the conversion window and starts the worker. Does nothing without an image.
void DiffusionCommand(HWND mainWindow);
