// What CFile and CFileFind ask of the system: one implementation per backend
// (platform/<backend>/src/afx/). Failures come back as the system's own error
// code (errno, GetLastError), which CFileException carries.
#ifndef QUORVAN_AFX_FILEOS_H
#define QUORVAN_AFX_FILEOS_H

#include <afx.h>

namespace afxos {

// The codes for "already open" and "bad argument".
extern const LONG kBusy, kInvalidArgument;

// Opens the file for access (modeRead, modeWrite or modeReadWrite) with the
// rest of CFile's flags; 0 and *handle, or the error.
LONG OpenFile(LPCSTR name, UINT access, UINT flags, AFX_FILE_HANDLE* handle);
// Closes the handle, which is gone whatever the result; 0 or the error.
LONG CloseFile(AFX_FILE_HANDLE handle);
// Removes the file (never a folder); 0 or the error.
LONG RemoveFile(LPCSTR name);
// Whether a directory entry of that name exists, folders included.
bool EntryExists(LPCSTR name);

}  // namespace afxos

#endif
