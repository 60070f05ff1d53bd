// Start-up, the three window classes, the message loop and shut-down.
#pragma once

#include <windows.h>

extern HACCEL Accelerators;

// Registers HOME_WIND, CWC_PAL and CWC_KEI from one class record. Tries all three even when
// one fails; non-zero when all three were registered.
int RegisterClasses();

// Loads the settings, opens the main window, pumps messages until it is destroyed, saves the
// settings and unregisters the classes. 0 on a normal end, 10 when the main window could not
// be created, -1 or -2 when unregistering failed.
int RunApplication(int showCommand);

// The whole program behind WinMain: returns the process exit code.
int TintwrightMain(HINSTANCE instance, int showCommand);
