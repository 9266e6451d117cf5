// The fault report: one line on stderr, written straight to the handle (no
// buffering to lose), then the process ends with exit code 86.
#include <stdarg.h>
#include <stdio.h>

#include "StandIn.h"

namespace {

LONG g_faults;

void WriteToStderr(const char* text, int length)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, 0);
}

}  // namespace

int standin::Faults()
{
    return static_cast<int>(g_faults);
}

void standin::Fault(const char* member, const char* format, ...)
{
    InterlockedIncrement(&g_faults);
    char line[512];
    int n = _snprintf(line, sizeof line, "MFC42 stand-in: ");
    va_list args;
    va_start(args, format);
    int m = _vsnprintf(line + n, sizeof line - n, format, args);
    va_end(args);
    n = m < 0 ? static_cast<int>(sizeof line) - 1 : n + m;
    if (member) {
        m = _snprintf(line + n, sizeof line - n, " (in %s)", member);
        n = m < 0 ? static_cast<int>(sizeof line) - 1 : n + m;
    }
    if (n > static_cast<int>(sizeof line) - 2)
        n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    WriteToStderr(line, n);
    // No unwinding, no exit handlers: the heap may be in any state now.
    TerminateProcess(GetCurrentProcess(), kFaultExitCode);
    ExitProcess(kFaultExitCode);
}
