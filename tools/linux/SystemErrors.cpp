// errno and strerror's words.
#include "SystemErrors.h"

#include <errno.h>
#include <string.h>

int LastSystemError()
{
    return errno;
}

std::string SystemErrorText(int code)
{
    return strerror(code);
}

void ClearSystemError()
{
    errno = 0;
}

std::string WriteFailureText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
    case ENXIO:
    case EROFS:
        return strerror(error);
    default:
        return std::string();
    }
}

