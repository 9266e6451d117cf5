// Whether this process has the watched files open: its descriptors in /proc.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "DoubleLog.h"

namespace doubles {

bool IsOpen(const char* variable)
{
    const char* path = getenv(variable);
    char wanted[PATH_MAX];
    if (!path || !*path || !realpath(path, wanted))
        return false;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return false;
    bool found = false;
    while (dirent* e = readdir(dir)) {
        std::string link = std::string("/proc/self/fd/") + e->d_name;
        char target[PATH_MAX];
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            if (std::string(target) == wanted)
                found = true;
        }
    }
    closedir(dir);
    return found;
}

}  // namespace doubles
