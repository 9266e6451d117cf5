// Other processes and this one on Linux: the read position comes from /proc.
#include "Processes.h"

#include <dirent.h>
#include <sched.h>
#include <stdio.h>
#include <unistd.h>

#include "Files.h"

bool ReadPosition(long pid, const FileId& file, uint64_t* position)
{
    std::string base = "/proc/" + std::to_string(pid);
    DIR* fds = opendir((base + "/fd").c_str());
    if (!fds)
        return false;
    bool found = false;
    while (struct dirent* e = readdir(fds)) {
        if (e->d_name[0] == '.')
            continue;
        if (!(IdentityOf(base + "/fd/" + e->d_name) == file))
            continue;
        FILE* info = fopen((base + "/fdinfo/" + e->d_name).c_str(), "r");
        if (!info)
            continue;
        unsigned long long pos;
        if (fscanf(info, "pos: %llu", &pos) == 1) {
            *position = pos;
            found = true;
        }
        fclose(info);
        if (found)
            break;
    }
    closedir(fds);
    return found;
}

unsigned UsableCores()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}
