// GetTempPathA / GetTempFileNameA over the POSIX temporary directory.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

// Unique numbers are 16-bit and never 0, as on Windows.
const UINT kUniqueNumbers = 0xffff;

std::atomic<UINT> g_firstNumber{0};  // test hook; 0: start anywhere
std::atomic<unsigned> g_calls{0};

// Where the search for a free number starts: spread by time, process and
// call, so that processes and successive calls rarely walk the same numbers.
UINT StartNumber()
{
    UINT fixed = g_firstNumber.load();
    if (fixed != 0)
        return fixed;
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 20) ^
                 (static_cast<uint64_t>(getpid()) << 40) ^ (static_cast<uint64_t>(g_calls++) << 30);
    // splitmix64's finaliser.
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    x ^= x >> 31;
    return static_cast<UINT>(x % kUniqueNumbers) + 1;
}

}  // namespace

extern "C" void QvTestTempFileNumbersFrom(UINT first)
{
    g_firstNumber = first & kUniqueNumbers;
}

extern "C" DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer)
{
    const char* dir = getenv("TMPDIR");
    if (!dir || !*dir)
        dir = "/tmp";
    size_t length = strlen(dir);
    bool addSeparator = dir[length - 1] != '/';
    size_t total = length + (addSeparator ? 1 : 0);
    if (total >= 0xffffffffu) {
        errno = ENAMETOOLONG;
        return 0;
    }
    // Too small: the size needed, terminator included.
    if (!lpBuffer || nBufferLength < total + 1)
        return static_cast<DWORD>(total + 1);
    memcpy(lpBuffer, dir, length);
    if (addSeparator)
        lpBuffer[length] = '/';
    lpBuffer[total] = '\0';
    return static_cast<DWORD>(total);
}

extern "C" UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                                        LPSTR lpTempFileName)
{
    if (!lpPathName || !lpTempFileName) {
        errno = EINVAL;
        return 0;
    }
    size_t length = strlen(lpPathName);
    memmove(lpTempFileName, lpPathName, length);  // the caller may pass one buffer twice
    char* p = lpTempFileName + length;
    if (length > 0 && p[-1] != '/' && p[-1] != '\\')
        *p++ = '/';
    // At most three characters of the prefix.
    if (lpPrefixString)
        for (int i = 0; i < 3 && lpPrefixString[i]; ++i)
            *p++ = lpPrefixString[i];
    char* number = p;

    if (uUnique != 0) {
        // The caller's number: the name is only formed, not created.
        snprintf(number, 9, "%X", uUnique & kUniqueNumbers);
        strcat(number, ".TMP");
        return uUnique;
    }

    UINT start = StartNumber();
    for (UINT i = 0; i < kUniqueNumbers; ++i) {
        UINT n = (start - 1 + i) % kUniqueNumbers + 1;
        snprintf(number, 9, "%X", n);
        strcat(number, ".TMP");
        // Created exclusively: a name another process holds is never handed out.
        int fd;
        do
            fd = open(lpTempFileName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            if (close(fd) != 0) {
                int error = errno;
                unlink(lpTempFileName);
                lpTempFileName[0] = '\0';
                errno = error;
                return 0;
            }
            return n;
        }
        if (errno != EEXIST)
            break;
    }
    lpTempFileName[0] = '\0';
    return 0;
}
