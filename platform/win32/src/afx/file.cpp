// The file calls behind CFile and CFileFind: Win32 handles, GetLastError codes.
#include "fileos.h"

const AFX_FILE_HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

namespace {

DWORD ShareMode(UINT flags)
{
    switch (flags & 0x70) {
    case CFile::shareDenyWrite:
        return FILE_SHARE_READ;
    case CFile::shareDenyRead:
        return FILE_SHARE_WRITE;
    case CFile::shareDenyNone:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:  // shareCompat, shareExclusive
        return 0;
    }
}

LONG LastError()
{
    return static_cast<LONG>(GetLastError());
}

}  // namespace

namespace afxos {

const LONG kBusy = ERROR_BUSY, kInvalidArgument = ERROR_INVALID_PARAMETER;

LONG OpenFile(LPCSTR name, UINT access, UINT flags, AFX_FILE_HANDLE* handle)
{
    DWORD desired = access == CFile::modeRead    ? GENERIC_READ
                    : access == CFile::modeWrite ? GENERIC_WRITE
                                                 : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (flags & CFile::modeCreate)
        disposition = (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    // No security attributes: never inherited by child processes, as on
    // POSIX (O_CLOEXEC).
    HANDLE h = CreateFileA(name, desired, ShareMode(flags), nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return LastError();
    *handle = h;
    return 0;
}

LONG CloseFile(AFX_FILE_HANDLE handle)
{
    return CloseHandle(handle) ? 0 : LastError();
}

LONG RemoveFile(LPCSTR name)
{
    return DeleteFileA(name) ? 0 : LastError();
}

bool EntryExists(LPCSTR name)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(name, &data);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    return true;
}

}  // namespace afxos
