// GetLastError and FormatMessageA's words.
#include "SystemErrors.h"

#include <windows.h>

int LastSystemError()
{
    return static_cast<int>(GetLastError());
}

void ClearSystemError()
{
    SetLastError(0);
}

std::string SystemErrorText(int code)
{
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    // One line, ended as the messages around it are: no ".\r\n".
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

std::string WriteFailureText(int error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
    case ERROR_WRITE_FAULT:
    case ERROR_WRITE_PROTECT:
    case ERROR_NOT_READY:
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
        return SystemErrorText(error);
    default:
        return std::string();
    }
}

