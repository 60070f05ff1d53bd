#include "win/app/seams.h"

// A box comes to the front and takes the keyboard also when its window is not the active
// one: raised for the worker, or over another box.
int ShowPlatformMessage(HWND owner, const char* text, const char* caption, UINT type) {
    HWND root = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    if (root != nullptr && GetForegroundWindow() != root) {
        type |= MB_SETFOREGROUND;
    }
    return MessageBoxA(owner, text, caption, type);
}

int (*ShowMessage)(HWND, const char*, const char*, UINT) = ShowPlatformMessage;
BOOL(WINAPI* RunOpenDialog)(OPENFILENAMEA*) = GetOpenFileNameA;
BOOL(WINAPI* RunSaveDialog)(OPENFILENAMEA*) = GetSaveFileNameA;
UINT(WINAPI* QueryDroppedFile)(HDROP, UINT, char*, UINT) = DragQueryFileA;
void(WINAPI* FinishDrop)(HDROP) = DragFinish;
FileCalls Files = {CreateFileA, GetFileSize, ReadFile,   WriteFile,
                   MoveFileA,   DeleteFileA, GlobalAlloc};
