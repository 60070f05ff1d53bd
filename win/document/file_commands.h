// Moving BMP file images between disk and the document: open, drop, reload, save, save as,
// and close.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "core/image/rgba.h"

// Reads the file named by CurrentFileName into the document and reports its own failures;
// with chain set and AutoReduce on, exact reduction follows. True when the document was
// replaced; on failure the document is unchanged.
bool LoadCurrentFile(HWND mainWindow, bool chain);

// Makes the image in `block` (`bytes` long, owned from now on) the document, in place of the
// one before; `decoded` when it came from an image of another kind, to be written as BMP or
// PNG only. The name is CurrentFileName's, empty for a pasted image.
void AdoptImage(HWND mainWindow, HGLOBAL block, DWORD bytes, bool decoded);

// True when the document may give way to another, or the program end: it holds no unsaved
// work (a conversion, a pasted image), the option says not to ask, or the user answers
// 変更を保存しますか？ with はい and the save succeeds (Save, or Save as for an image without
// a file it can be written back to) or with いいえ. キャンセル, a failed save or a cancelled
// save dialog keep it.
bool MayLeaveDocument(HWND mainWindow);

// What becomes of a decoded image's transparency: onto white, or with the key colour of the
// high-quality settings on (and a fixed colour to be it), fully transparent pixels take it;
// with 透明度を保つ on, an image with transparency keeps its alpha.
image::AlphaRule AlphaRuleOfSettings();

void OpenCommand(HWND mainWindow);
// Save and Save as: true when the document was written.
bool SaveCommand(HWND mainWindow);
bool SaveAsCommand(HWND mainWindow);
void CloseCommand(HWND mainWindow);
void ReloadCommand(HWND mainWindow);
void DropCommand(HWND mainWindow, HDROP drop);
