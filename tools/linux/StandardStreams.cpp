// The standard streams on POSIX systems.
#include "StandardStreams.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string StandardInputName()
{
    return "/dev/stdin";
}

bool StandardOutputSeekable(uint64_t* start)
{
    struct stat st;
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    if (fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || (flags & O_APPEND))
        return false;
    off_t at = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (at < 0)
        return false;
    *start = static_cast<uint64_t>(at);
    return true;
}

bool WriteStandardOutput(const void* data, size_t size, size_t* written, int* error)
{
    ssize_t n = write(STDOUT_FILENO, data, size);
    if (n > 0) {
        *written = static_cast<size_t>(n);
        return true;
    }
    *error = n < 0 ? errno : EIO;
    return false;
}

bool WriteStandardOutputAt(uint64_t offset, const void* data, size_t size, int* error)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite(STDOUT_FILENO, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool IsClosedOutputError(int error)
{
    return error == EPIPE;
}

bool IsInterruptedError(int error)
{
    return error == EINTR;
}

size_t StandardErrorTerminalWidth()
{
    if (!isatty(STDERR_FILENO))
        return 0;
    struct winsize size;
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
}

void OpenStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            break;
}
