// Files on disk for the document and the palette: the open and save dialogs, and writing a
// file through its safety copy "<path>.tmp" so that one complete copy always remains.
#pragma once

#include <windows.h>

// The current directory for the open dialog, and the palette dialog's name for 参照.
extern char PathWorkBuffer[MAX_PATH];

// Runs the open (openDialog non-zero) or save dialog on a 260-byte name buffer; non-zero when
// the user confirmed a file, whose full path is then in the buffer. The save dialog offers
// BMP and PNG, the one the name says chosen (BMP for any other); a name typed without an
// extension takes that of the format chosen.
int ChooseImageFile(char* name, HWND owner, int openDialog);
// The open dialog for palette files, listed first: it starts in the folder of `inForce`, the
// palette file in force (the current directory when it names none), with no name proposed.
int ChoosePaletteFile(char* name, HWND owner, const char* inForce);

// Whether a name ends in the extension (with its dot), in any case.
bool HasExtension(const char* path, const char* extension);

// Builds "<path>.tmp" into a buffer of MAX_PATH bytes; false when it would not fit.
bool MakeSafetyName(const char* path, char* safety);

// True when the file exists and its read-only attribute is set.
bool IsReadOnlyFile(const char* path);

// Writes `size` bytes to `path` through the safety copy and reports its own failures in
// message boxes of `failureType` (name too long and a blocked safety copy as warnings). A
// failed or short write removes the partial file and puts the earlier file back, so one
// complete copy always remains; a ".tmp" file this write did not make is never removed. A
// read-only file is refused with `createFailedText`; a safety copy that cannot be deleted
// after a good write is named in a warning.
bool WriteFileSafely(HWND owner, const char* path, const void* bytes, DWORD size,
                     const char* createFailedText, const char* writeFailedText, UINT failureType);
