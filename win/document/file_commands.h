// Moving BMP file images between disk and the document: open, drop, reload, save, save as,
// and close.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Reads the file named by CurrentFileName into the document and reports its own failures;
// with chain set and AutoReduce on, exact reduction follows. True when the document was
// replaced; on failure the document is unchanged.
bool LoadCurrentFile(HWND mainWindow, bool chain);

// Makes the image in `block` (`bytes` long, owned from now on) the document, in place of the
// one before; `decoded` when it came from an image of another kind, to be written as BMP or
// PNG only. The name is CurrentFileName's, empty for a pasted image.
void AdoptImage(HWND mainWindow, HGLOBAL block, DWORD bytes, bool decoded);

// True when the document may give way: it holds no unsaved conversion, the option says not
// to ask, or the user agrees to discard it (OK to
// 変換した画像は保存されていません。破棄しますか？).
bool MayDiscardConversion(HWND owner);

void OpenCommand(HWND mainWindow);
void SaveCommand(HWND mainWindow);
void SaveAsCommand(HWND mainWindow);
void CloseCommand(HWND mainWindow);
void ReloadCommand(HWND mainWindow);
void DropCommand(HWND mainWindow, HDROP drop);
