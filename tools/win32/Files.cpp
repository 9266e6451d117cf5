// Files and folders on Windows. A file's identity is its volume's serial
// number and its file index.
#include "Files.h"

#include <stdio.h>

#include <windows.h>

#include "SystemErrors.h"

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
