// The standard streams on Windows, used through their handles.
#include "StandardStreams.h"

#include <stdio.h>

#include <windows.h>

#include "win32/Handles.h"

namespace {

// Hands the standard input to the one client of the pipe, then waits until
// it has read everything before closing its end.
DWORD WINAPI RelayStandardInput(void* pipe)
{
    HANDLE out = static_cast<HANDLE>(pipe);
    if (ConnectNamedPipe(out, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        static char buffer[1 << 16];
        DWORD n;
        while (ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0 && WriteAll(out, buffer, n)) {
        }
        FlushFileBuffers(out);
    }
    CloseHandle(out);
    return 0;
}

}  // namespace

// No file name leads to the standard input on Windows: a named pipe of this
// process's own does, fed from it by a thread. It has one instance, so the
// library's later look at the input's identity finds it busy and moves on.
std::string StandardInputName()
{
    static unsigned serial = 0;
    char name[96];
    snprintf(name, sizeof name, "\\\\.\\pipe\\quorvan-stdin-%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()),
             ++serial);
    const DWORD kFirstInstance = 0x00080000, kLocalOnly = 0x00000008;  // FILE_FLAG_FIRST_PIPE_INSTANCE, PIPE_REJECT_REMOTE_CLIENTS
    HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND | kFirstInstance, PIPE_TYPE_BYTE | PIPE_WAIT | kLocalOnly,
                                   1, 1 << 16, 0, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return std::string();
    HANDLE thread = CreateThread(nullptr, 64 * 1024, RelayStandardInput, pipe, 0, nullptr);
    if (!thread) {
        CloseHandle(pipe);
        return std::string();
    }
    CloseHandle(thread);
    return name;
}

// Straight to the handle: bytes as they are, never the C runtime's text mode.
bool StandardOutputSeekable(uint64_t* start)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    LARGE_INTEGER zero = {}, at;
    if (GetFileType(out) != FILE_TYPE_DISK || !SetFilePointerEx(out, zero, &at, FILE_CURRENT))
        return false;
    *start = static_cast<uint64_t>(at.QuadPart);
    return true;
}

bool WriteStandardOutput(const void* data, size_t size, size_t* written, int* error)
{
    DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size), n = 0;
    if (WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, chunk, &n, nullptr) && n > 0) {
        *written = n;
        return true;
    }
    *error = static_cast<int>(GetLastError());
    return false;
}

bool WriteStandardOutputAt(uint64_t offset, const void* data, size_t size, int* error)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    LARGE_INTEGER to, end, zero = {};
    to.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = SetFilePointerEx(out, zero, &end, FILE_CURRENT) && SetFilePointerEx(out, to, nullptr, FILE_BEGIN) &&
              WriteAll(out, data, size);
    if (!ok)
        *error = static_cast<int>(GetLastError());
    // Back to the end, where anything written after the command goes.
    if (!SetFilePointerEx(out, end, nullptr, FILE_BEGIN) && ok) {
        *error = static_cast<int>(GetLastError());
        ok = false;
    }
    return ok;
}

bool IsClosedOutputError(int error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA;
}

bool IsInterruptedError(int)
{
    return false;  // a console event runs on a thread of its own
}

size_t StandardErrorTerminalWidth()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 1 ? static_cast<size_t>(width - 1) : 79u;
}

void OpenStandardStreams()
{
    // Handles are never reused as standard streams: nothing to hold open.
}
