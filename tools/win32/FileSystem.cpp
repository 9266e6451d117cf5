// The command's file-system and process questions on Windows. A file's
// identity is its volume's serial number and its file index; the read
// position of another process cannot be asked for.
#include "FileSystem.h"

#include <stdio.h>

#include <windows.h>

#include "win32/Handles.h"

namespace {

// A handle that only asks about the file (or folder) at path.
HANDLE OpenToAsk(const std::string& path)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileId IdOf(HANDLE file)
{
    FileId id;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.node = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.valid = true;
    }
    return id;
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

}  // namespace

PathKind Inspect(const std::string& path, FileId* id)
{
    *id = FileId();
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
                   ? PathKind::kMissing
                   : PathKind::kOther;
    }
    HANDLE file = OpenToAsk(path);
    if (file == INVALID_HANDLE_VALUE)
        return PathKind::kOther;  // a link to nothing, or a file it may not ask about, still takes the name
    *id = IdOf(file);
    DWORD type = GetFileType(file);
    CloseHandle(file);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::kFolder;
    return type == FILE_TYPE_DISK ? PathKind::kFile : PathKind::kOther;
}

FileId IdentityOf(const std::string& path)
{
    HANDLE file = OpenToAsk(path);
    if (file == INVALID_HANDLE_VALUE)
        return FileId();
    FileId id = IdOf(file);
    CloseHandle(file);
    return id;
}

bool CreateNewFile(const std::string& path, FileId* id, bool* exists, std::string* error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        *error = SystemErrorText(static_cast<int>(code));
        return false;
    }
    *exists = false;
    *id = IdOf(file);
    bool ok = id->valid;
    if (!ok)
        *error = SystemErrorText(static_cast<int>(GetLastError()));
    if (!CloseHandle(file) && ok) {
        ok = false;
        *error = SystemErrorText(static_cast<int>(GetLastError()));
    }
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

void RemoveIfSame(const std::string& path, const FileId& id)
{
    if (id.valid && IdentityOf(path) == id)
        DeleteFileA(path.c_str());
}

std::string TemporaryFolder()
{
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    std::string result = n > 0 && n < sizeof folder ? std::string(folder, n) : std::string(".");
    if (!IsSeparator(result.back()))
        result += '\\';
    return result;
}

std::string ResolvedFolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    std::string folder;
    if (slash == std::string::npos)
        folder = path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";  // "C:name": C:'s current folder
    else if (slash == 0 || (slash == 2 && path[1] == ':'))
        folder = path.substr(0, slash + 1);  // a root: "\", "C:\"
    else
        folder = path.substr(0, slash);
    char full[MAX_PATH + 1];
    DWORD n = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full)
        return std::string();
    std::string result(full, n);
    if (IsSystemFolder(result))
        return result;  // a device namespace has no folders to look at
    DWORD attributes = GetFileAttributesA(result.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::string();
    // No final separator, but for a root ("C:\").
    if (result.size() > 3 && IsSeparator(result.back()))
        result.pop_back();
    return result;
}

bool IsSystemFolder(const std::string& folder)
{
    // The device namespaces: \\.\ and \\?\GLOBALROOT.
    return folder.compare(0, 4, "\\\\.\\") == 0 || folder.compare(0, 4, "//./") == 0 ||
           folder.compare(0, 14, "\\\\?\\GLOBALROOT") == 0;
}

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

bool SeekFile(FILE* file, uint64_t position)
{
    return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
}

void ReleaseFileSpace(const std::string&, uint64_t, uint64_t)
{
    // The staging file keeps its space until it is removed.
}

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ReadPosition(long, const FileId&, uint64_t*)
{
    return false;
}

size_t StandardErrorTerminalWidth()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 1 ? static_cast<size_t>(width - 1) : 79u;
}

unsigned UsableCores()
{
    DWORD_PTR process = 0, system = 0;
    unsigned n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process; process &= process - 1)
            ++n;
    if (n == 0) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        n = info.dwNumberOfProcessors;
    }
    return n > 0 ? n : 1u;
}

void OpenStandardStreams()
{
    // Handles are never reused as standard streams: nothing to hold open.
}

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

std::string OpenForReadingProblem(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "it is a folder";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return SystemErrorText(static_cast<int>(GetLastError()));
    CloseHandle(file);
    return std::string();
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
