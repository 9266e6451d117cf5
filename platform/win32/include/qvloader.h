// How the library loads its decoder modules on Windows: beside itself first.
#ifndef QUORVAN_WIN32_QVLOADER_H
#define QUORVAN_WIN32_QVLOADER_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Loads the module file `name` (a bare file name such as "ma32.dll") from the
// folder of the binary that holds this code (Quorvan.dll, or a program that
// links the converter), by full path, when the file is there: that one is
// used even when it fails to load. Else LoadLibraryA(name), Windows' usual
// search order. Null on failure, with GetLastError saying why. The folder is
// taken in wide characters: its name need not fit the ANSI code page.
HMODULE WINAPI QvLoadModule(LPCSTR name);

// Makes QvLoadModule look beside the binary that holds `code` instead, for a
// program that repeats the library's search (null: the default again).
void WINAPI QvLoaderSearchBeside(const void* code);

#ifdef __cplusplus
}
#endif

#endif
