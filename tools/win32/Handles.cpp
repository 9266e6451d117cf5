#include "win32/Handles.h"

bool WriteAll(HANDLE handle, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size), written = 0;
        if (!WriteFile(handle, p, chunk, &written, nullptr) || written == 0)
            return false;
        p += written;
        size -= written;
    }
    return true;
}

bool ReadAll(HANDLE handle, void* data, size_t size)
{
    char* p = static_cast<char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size), got = 0;
        if (!ReadFile(handle, p, chunk, &got, nullptr) || got == 0)
            return false;
        p += got;
        size -= got;
    }
    return true;
}

void CloseIfOpen(HANDLE& handle)
{
    if (handle && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = nullptr;
}
