// The error-diffusion menu command and its worker thread.
#pragma once

#include <windows.h>

extern LONG RunFixedCount;   // fixed colours of the current run
extern DWORD WorkerThreadId; // the worker last started

// True from the start of a run until its worker has closed the conversion window: the image
// belongs to the worker then, and no other command may touch it.
bool ConversionInProgress();

// Asks about the fixed palette, opens the palette dialog the first time it is wanted,
// creates the conversion window and starts the worker. Does nothing without an image.
void DiffusionCommand(HWND mainWindow);

// Refuses a command that would touch the image while a run is in progress, telling the
// user so; true when the command may go on.
bool ImageIsFree(HWND owner);
