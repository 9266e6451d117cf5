// How the framework's classes are linked on Windows: CString is MFC42.DLL's
// (<afxcore.h>); the file classes and the exceptions this program throws are
// compiled into each binary that uses them. Files are Win32 handles.
#ifndef QUORVAN_WIN32_AFXDLL_H
#define QUORVAN_WIN32_AFXDLL_H

#include <windows.h>

#define AFX_API

typedef HANDLE AFX_FILE_HANDLE;

#endif
