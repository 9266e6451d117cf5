// Whole reads and writes on a Win32 handle (a pipe's end), through short
// counts.
#ifndef QUORVAN_TOOLS_WIN32_HANDLES_H
#define QUORVAN_TOOLS_WIN32_HANDLES_H

#include <stddef.h>

#include <windows.h>

// False on an error (GetLastError tells which) or a write that wrote nothing.
bool WriteAll(HANDLE handle, const void* data, size_t size);

// False on end of file (a pipe whose other end closed) or an error before
// size bytes arrived.
bool ReadAll(HANDLE handle, void* data, size_t size);

// Closes handle unless it is null or INVALID_HANDLE_VALUE, and makes it null.
void CloseIfOpen(HANDLE& handle);

#endif
