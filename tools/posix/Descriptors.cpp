#include "posix/Descriptors.h"

#include <errno.h>
#include <unistd.h>

namespace {

template <typename Step, typename Byte>
bool Whole(Step step, int fd, Byte* p, size_t size)
{
    while (size > 0) {
        ssize_t n = step(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, size_t size)
{
    return Whole(write, fd, static_cast<const char*>(data), size);
}

bool ReadAll(int fd, void* data, size_t size)
{
    return Whole(read, fd, static_cast<char*>(data), size);
}
