// Starts the program as usual and, once its window is up, drops the image named on the
// command line onto it, the way the shell would. Used to take screenshots of the real window.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "app/app.h"

static char DroppedPath[MAX_PATH];

static void CALLBACK DropOnce(HWND, UINT, UINT_PTR id, DWORD) {
    if (MainWindow == nullptr) {
        return;
    }
    KillTimer(nullptr, id);
    const size_t length = std::strlen(DroppedPath);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + length + 2);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(drop + 1, DroppedPath, length);
    GlobalUnlock(block);
    PostMessageA(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    GetFullPathNameA(commandLine, MAX_PATH, DroppedPath, nullptr);
    SetTimer(nullptr, 0, 200, DropOnce);
    return TintwrightMain(instance, showCommand);
}
