// The options dialog: the options of the settings store, as check boxes.
#pragma once

#include <windows.h>

// Runs the options dialog modally; OK stores the options, Cancel changes nothing.
void RunOptionsDialog(HWND owner);
