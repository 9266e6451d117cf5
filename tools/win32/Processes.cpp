// Other processes and this one on Windows: the read position of another
// process cannot be asked for.
#include "Processes.h"

#include <windows.h>

bool ReadPosition(long, const FileId&, uint64_t*)
{
    return false;
}

unsigned UsableCores()
{
    DWORD_PTR process = 0, system = 0;
    unsigned n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (; process; process &= process - 1)
            ++n;
    if (n == 0) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        n = info.dwNumberOfProcessors;
    }
    return n > 0 ? n : 1u;
}
