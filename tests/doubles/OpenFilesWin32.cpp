// Whether this process has the watched files open: on Windows a file that
// any handle holds cannot be opened without sharing, so an attempt to open
// it exclusively fails with a sharing violation. The tests run alone, so the
// handle is this process's.
#include <windows.h>
#include <stdlib.h>

#include "DoubleLog.h"

namespace doubles {

bool IsOpen(const char* variable)
{
    const char* path = getenv(variable);
    if (!path || !*path)
        return false;
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace doubles
