// Interlocked exchanges over the compiler's atomic operations, and Sleep.
#include <windows.h>

#include <errno.h>
#include <time.h>

extern "C" LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand)
{
    // On a mismatch Comparand receives the value found: the result either way.
    __atomic_compare_exchange_n(Destination, &Comparand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return Comparand;
}

extern "C" LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    struct timespec left = {static_cast<time_t>(dwMilliseconds / 1000),
                            static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
