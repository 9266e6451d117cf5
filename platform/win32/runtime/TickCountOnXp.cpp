// Linked into every binary that ships with the C++ runtime linked in.
//
// The threads library of the runtime (winpthreads) measures its timed waits
// with GetTickCount64, which kernel32.dll exports from Windows Vista on only:
// imported from there, the binary would not load on Windows XP. The import is
// answered here instead, with the clock that the threads library uses itself
// when built for XP: the performance counter in milliseconds, or
// GetTickCount where there is no counter. It only ever measures how long a
// wait has lasted.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64()
{
    LARGE_INTEGER frequency, now;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart >= 1000 && QueryPerformanceCounter(&now))
        return static_cast<ULONGLONG>(now.QuadPart / (frequency.QuadPart / 1000));
    return GetTickCount();
}

}  // namespace

// The import's address slot, under the name the threads library calls
// through: defined here, the linker takes no GetTickCount64 from kernel32.
extern "C" ULONGLONG(WINAPI* g_tickCount64Import)(void) __asm__("__imp__GetTickCount64@0");
ULONGLONG(WINAPI* g_tickCount64Import)(void) = TickCount64;
