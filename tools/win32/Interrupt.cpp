// Ctrl-C, Ctrl-Break and the console's close, logoff and shutdown events:
// recorded as stop requests with the numbers of the signals that mean the
// same on POSIX systems (SIGINT for Ctrl-C, SIGHUP for a console that goes
// away, SIGTERM for logoff and shutdown; Ctrl-Break has the C runtime's
// SIGBREAK), so that the exit status is 128 + that number there too.
#include "Interrupt.h"

#include <windows.h>

namespace {

const int kCtrlC = 2, kClosed = 1, kEnding = 15, kCtrlBreak = 21;

volatile LONG g_request = 0;

BOOL WINAPI Record(DWORD event)
{
    LONG request;
    switch (event) {
    case CTRL_C_EVENT: request = kCtrlC; break;
    case CTRL_BREAK_EVENT: request = kCtrlBreak; break;
    case CTRL_CLOSE_EVENT: request = kClosed; break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: request = kEnding; break;
    default: return FALSE;
    }
    InterlockedCompareExchange(&g_request, request, 0);
    // After these the system ends the process as soon as the handler
    // returns: it waits here while the command stops its workers, removes
    // their files and exits (which ends this thread).
    if (request == kClosed || request == kEnding)
        Sleep(10000);
    return TRUE;
}

}  // namespace

void CatchStopRequests()
{
    SetConsoleCtrlHandler(Record, TRUE);
}

void RequestStop(int request)
{
    InterlockedCompareExchange(&g_request, request, 0);
}

int StopRequest()
{
    return static_cast<int>(InterlockedCompareExchange(&g_request, 0, 0));
}

int StopExitStatus(int request)
{
    return 128 + request;
}

std::string StopRequestName(int request)
{
    switch (request) {
    case kCtrlC: return "Ctrl-C";
    case kCtrlBreak: return "Ctrl-Break";
    case kClosed: return "the console was closed";
    case kEnding: return "logoff or shutdown";
    case kStopOutputClosed: return "the standard output was closed";
    default: return "request " + std::to_string(request);
    }
}
