// Entry of the Windows test program: registers the program's window classes once, as the
// program does at start-up, and replaces the seams with scripted ones.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "win/app/app.h"
#include "win/app/shell.h"
#include "tests/win/test_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    AppInstance = GetModuleHandleA(nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // for the image codecs, as the program does
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls); // the dialogs' controls, as the program loads them
    ResetSeams();
    ResetRegistry();
    if (!RegisterClasses()) {
        std::fprintf(stderr, "window classes could not be registered\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
