// Whole reads and writes on a file descriptor, through EINTR and short counts.
#ifndef QUORVAN_TOOLS_POSIX_DESCRIPTORS_H
#define QUORVAN_TOOLS_POSIX_DESCRIPTORS_H

#include <stddef.h>

// False on an error (errno tells which; EIO for a write that wrote nothing).
bool WriteAll(int fd, const void* data, size_t size);

// False on end of file or an error before size bytes arrived.
bool ReadAll(int fd, void* data, size_t size);

#endif
