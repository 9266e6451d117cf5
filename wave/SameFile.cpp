#include "SameFile.h"

#include <windows.h>

namespace {

bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileInformationByHandle(h, info) != FALSE;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool IsSameFile(const char* pathA, const char* pathB)
{
    if (!pathA || !pathB || !*pathA || !*pathB)
        return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!Identify(pathA, &a) || !Identify(pathB, &b))
        return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}
