// The stand-in MFC42.DLL's start and end, and the controls that tests reach
// by name through GetProcAddress(GetModuleHandleA("MFC42.DLL"), ...):
//   QvMfcFailAllocationsAfter(n)  after n more buffer allocations succeed,
//                                 every further one throws the
//                                 CMemoryException*, until called with n < 0
//                                 (QUORVAN_MFC42_FAIL_AFTER=n sets it at load)
//   QvMfcFailOneAllocationAfter(n) after n more buffer allocations succeed,
//                                 the next one throws, and only that one:
//                                 the ones after it succeed again
//   QvMfcAllocations()            buffer allocations that succeeded so far
//   QvMfcLiveBuffers()            buffers allocated and not yet freed
//   QvMfcFaults()                 faults found so far (a fault ends the
//                                 process, so a running one sees 0)
// At the end it reports the buffers still live.
#include <stdio.h>
#include <stdlib.h>

#include "StandIn.h"

extern "C" {

void __cdecl QvMfcFailAllocationsAfter(int n)
{
    standin::FailAllocationsAfter(n, false);
}

void __cdecl QvMfcFailOneAllocationAfter(int n)
{
    standin::FailAllocationsAfter(n, true);
}

int __cdecl QvMfcAllocations(void)
{
    return standin::Allocations();
}

int __cdecl QvMfcLiveBuffers(void)
{
    return standin::LiveBuffers();
}

int __cdecl QvMfcFaults(void)
{
    return standin::Faults();
}

}  // extern "C"

namespace {

void FailAllocationsFromEnvironment()
{
    char value[32];
    DWORD n = GetEnvironmentVariableA("QUORVAN_MFC42_FAIL_AFTER", value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return;
    char* end = 0;
    long count = strtol(value, &end, 10);
    if (end != value && *end == 0)
        standin::FailAllocationsAfter(static_cast<int>(count), false);
}

void ReportLiveBuffers()
{
    int live = standin::LiveBuffers();
    if (live <= 0)
        return;
    char line[96];
    int n = _snprintf(line, sizeof line, "MFC42 stand-in: %d string buffers still live at exit\n", live);
    DWORD written = 0;
    if (n > 0)
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(n), &written, 0);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::StartUp();
        standin::InitExceptions();
        FailAllocationsFromEnvironment();
    } else if (reason == DLL_PROCESS_DETACH) {
        ReportLiveBuffers();
    }
    return TRUE;
}
