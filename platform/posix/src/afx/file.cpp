// The file calls behind CFile and CFileFind: POSIX descriptors, errno codes.
#include "fileos.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const AFX_FILE_HANDLE CFile::hFileNull = -1;

namespace afxos {

const LONG kBusy = EBUSY, kInvalidArgument = EINVAL;

LONG OpenFile(LPCSTR name, UINT access, UINT flags, AFX_FILE_HANDLE* handle)
{
    int oflags = O_CLOEXEC;
    if (access == CFile::modeRead)
        oflags |= O_RDONLY;
    else if (access == CFile::modeWrite)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDWR;
    if (flags & CFile::modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & CFile::modeNoTruncate))
            oflags |= O_TRUNC;
    }
    int fd;
    do
        fd = open(name, oflags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    *handle = fd;
    return 0;
}

LONG CloseFile(AFX_FILE_HANDLE handle)
{
    return close(handle) == 0 ? 0 : errno;
}

LONG RemoveFile(LPCSTR name)
{
    // Files only, as on Windows: unlink refuses folders.
    return unlink(name) == 0 ? 0 : errno;
}

bool EntryExists(LPCSTR name)
{
    // Any directory entry: folders and links, even dangling ones.
    struct stat st;
    return lstat(name, &st) == 0;
}

}  // namespace afxos
