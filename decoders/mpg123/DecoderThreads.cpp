#include "DecoderThreads.h"

#include <sched.h>
#include <stdlib.h>

#include <thread>

namespace quorvan {

namespace {

int AvailableCores()
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
#endif
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

int DecoderThreads()
{
    if (const char* value = getenv(kDecoderThreadsVariable)) {
        char* end = nullptr;
        long n = strtol(value, &end, 10);
        if (end != value && *end == '\0' && n >= 1 && n <= kMaxDecoderThreads)
            return static_cast<int>(n);
    }
    int cores = AvailableCores();
    return cores < kMaxDecoderThreads ? cores : kMaxDecoderThreads;
}

}  // namespace quorvan
