// The few platform calls that block on a person or touch files, routed through replaceable
// function pointers so that the Windows tests can script them. The program itself never
// changes these pointers.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

// Message boxes: same arguments and result as MessageBoxA. ShowPlatformMessage is the real
// one, which also brings a box to the front when its window is not the active one.
extern int (*ShowMessage)(HWND owner, const char* text, const char* caption, UINT type);
int ShowPlatformMessage(HWND owner, const char* text, const char* caption, UINT type);

// The common file dialogs: same arguments and result as GetOpenFileNameA / GetSaveFileNameA.
extern BOOL(WINAPI* RunOpenDialog)(OPENFILENAMEA* record);
extern BOOL(WINAPI* RunSaveDialog)(OPENFILENAMEA* record);

// Reading and releasing a drop: same as DragQueryFileA and DragFinish.
extern UINT(WINAPI* QueryDroppedFile)(HDROP drop, UINT index, char* name, UINT capacity);
extern void(WINAPI* FinishDrop)(HDROP drop);

// File calls of the load and save paths, and the load's block allocation, so that tests
// can make them fail.
struct FileCalls {
    HANDLE(WINAPI* create)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    DWORD(WINAPI* getSize)(HANDLE, LPDWORD);
    BOOL(WINAPI* read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* move)(LPCSTR, LPCSTR);
    BOOL(WINAPI* remove)(LPCSTR);
    HGLOBAL(WINAPI* allocate)(UINT, SIZE_T);
};
extern FileCalls Files;
