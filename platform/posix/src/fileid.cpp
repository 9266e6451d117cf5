// CreateFileA / GetFileInformationByHandle / CloseHandle, as far as telling
// whether two paths name the same file needs them.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
HANDLE FromFd(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1);
}
int ToFd(HANDLE h)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(h) - 1);
}
}  // namespace

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                                     void* /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                                     DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/)
{
    if (!lpFileName || dwCreationDisposition != OPEN_EXISTING ||
        (dwDesiredAccess & ~static_cast<DWORD>(GENERIC_READ)) != 0)
        return INVALID_HANDLE_VALUE;
    // O_PATH opens without reading rights, like an access of 0; folders too.
    int flags = (dwDesiredAccess ? O_RDONLY : O_PATH) | O_CLOEXEC;
    int fd = open(lpFileName, flags);
    return fd < 0 ? INVALID_HANDLE_VALUE : FromFd(fd);
}

extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* info)
{
    if (hFile == INVALID_HANDLE_VALUE || !hFile || !info)
        return FALSE;
    struct stat st;
    if (fstat(ToFd(hFile), &st) != 0)
        return FALSE;
    *info = BY_HANDLE_FILE_INFORMATION();
    info->dwFileAttributes = S_ISDIR(st.st_mode) ? 0x10u : FILE_ATTRIBUTE_NORMAL;
    info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev ^ (static_cast<uint64_t>(st.st_dev) >> 32));
    uint64_t size = static_cast<uint64_t>(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    uint64_t ino = static_cast<uint64_t>(st.st_ino);
    info->nFileIndexHigh = static_cast<DWORD>(ino >> 32);
    info->nFileIndexLow = static_cast<DWORD>(ino);
    return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (hObject == INVALID_HANDLE_VALUE || !hObject)
        return FALSE;
    return close(ToFd(hObject)) == 0 ? TRUE : FALSE;
}
