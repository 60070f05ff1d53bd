#include "app/seams.h"

static int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxA(owner, text, caption, type);
}

int (*ShowMessage)(HWND, const char*, const char*, UINT) = ShowMessageBox;
BOOL(WINAPI* RunOpenDialog)(OPENFILENAMEA*) = GetOpenFileNameA;
BOOL(WINAPI* RunSaveDialog)(OPENFILENAMEA*) = GetSaveFileNameA;
UINT(WINAPI* QueryDroppedFile)(HDROP, UINT, char*, UINT) = DragQueryFileA;
void(WINAPI* FinishDrop)(HDROP) = DragFinish;
FileCalls Files = {CreateFileA, GetFileSize, ReadFile,   WriteFile,
                   MoveFileA,   DeleteFileA, GlobalAlloc};
