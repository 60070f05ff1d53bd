// Start-up, the three window classes, the message loop and shut-down.
#pragma once

#include <windows.h>

extern HACCEL Accelerators;

// Registers HOME_WIND, CWC_PAL and CWC_KEI from one class record. Tries all three even when
// one fails; non-zero when all three were registered.
int RegisterClasses();

// The whole program behind WinMain: returns the process exit code.
int TintwrightMain(HINSTANCE instance, int showCommand);
