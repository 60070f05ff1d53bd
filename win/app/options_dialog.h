// The options dialog: the three options of the settings store, as check boxes.
#pragma once

#include <windows.h>

// Runs the options dialog modally; OK stores the three options, Cancel changes nothing.
void RunOptionsDialog(HWND owner);
