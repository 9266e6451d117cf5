// How the framework library's classes cross its boundary on Windows:
// exported from qvafx.dll, imported by the library and every host. Its files
// are Win32 handles.
#ifndef QUORVAN_WIN32_AFXDLL_H
#define QUORVAN_WIN32_AFXDLL_H

#include <windows.h>

#ifdef QVAFX_BUILDING
#define AFX_API __declspec(dllexport)
#else
#define AFX_API __declspec(dllimport)
#endif

typedef HANDLE AFX_FILE_HANDLE;

#endif
