#include "win/app/app.h"

#include <commctrl.h>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "win/document/main_window.h"
#include "win/palette/palette_grid.h"
#include "win/reduce/conversion_window.h"
#include "win/res/resource.h"

HACCEL Accelerators;

int RegisterClasses() {
    WNDCLASSA record = {};
    record.style = CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;
    record.hInstance = AppInstance;
    record.hIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_TINTWRIGHT));
    record.hCursor = LoadCursorA(AppInstance, MAKEINTRESOURCEA(IDC_TINTWRIGHT));
    record.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    record.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);

    int allRegistered = 1;
    record.lpfnWndProc = MainWindowProc;
    record.lpszClassName = kMainWindowClass;
    if (!RegisterClassA(&record)) {
        allRegistered = 0;
    }
    record.lpfnWndProc = PaletteGridProc;
    record.lpszClassName = kPaletteGridClass;
    if (!RegisterClassA(&record)) {
        allRegistered = 0;
    }
    record.lpfnWndProc = ConversionWindowProc;
    record.lpszClassName = kConversionWindowClass;
    if (!RegisterClassA(&record)) {
        allRegistered = 0;
    }
    return allRegistered;
}

static void PumpMessages() {
    MSG msg;
    // GetMessage answers -1 only for an invalid window argument, which this loop never passes.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(MainWindow, Accelerators, &msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Loads the settings, opens the main window, pumps messages until it is destroyed, saves the
// settings and unregisters the classes. 0 on a normal end, 10 when the main window could not
// be created, -1 or -2 when unregistering failed.
static int RunApplication(int showCommand) {
    if (LoadSettings()) {
        Accelerators = LoadAcceleratorsA(AppInstance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
        MainWindow = CreateWindowExA(
            WS_EX_ACCEPTFILES, kMainWindowClass, kAppTitle,
            WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL | WS_CLIPCHILDREN, CW_USEDEFAULT,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, AppInstance, nullptr);
        if (MainWindow == nullptr) {
            return 10;
        }
        ShowWindow(MainWindow, showCommand);
        UpdateWindow(MainWindow);
        PumpMessages();
        SaveSettings();
    }
    // The conversion window's class stays registered: a worker may still be closing its window.
    const int first = UnregisterClassA(kMainWindowClass, AppInstance) ? 1 : 0;
    const int second = UnregisterClassA(kPaletteGridClass, AppInstance) ? 1 : 0;
    return first + second - 2;
}

static void ReportResourceString(UINT id) {
    char text[256] = "";
    LoadStringA(AppInstance, id, text, sizeof text);
    Report(nullptr, text, MB_ICONWARNING);
}

int TintwrightMain(HINSTANCE instance, int showCommand) {
    AppInstance = instance;
    // The manifest asks for the common controls of version 6: load them for the dialogs.
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterClasses()) {
        ReportResourceString(IDS_CLASS_REGISTER_FAILED);
        return 0;
    }
    // The image codecs (PNG, JPEG, GIF, TIFF) are COM objects, used on this thread only.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const int result = RunApplication(showCommand);
    if (com) {
        CoUninitialize();
    }
    if (result == 10) {
        ReportResourceString(IDS_WINDOW_CREATE_FAILED);
    } else if (result != 0) {
        ReportResourceString(IDS_CLASS_UNREGISTER_FAILED);
    }
    return result;
}
