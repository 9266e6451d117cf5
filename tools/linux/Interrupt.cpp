// SIGINT, SIGTERM and SIGHUP to the command: recorded, so the worker pool can
// stop its workers, clean up and report.
#include "Interrupt.h"

#include <signal.h>
#include <string.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t g_request = 0;

void Record(int signal)
{
    if (g_request == 0)
        g_request = signal;
}

}  // namespace

void CatchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = Record;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    // A worker that dies leaves a broken pipe: that is an error to handle,
    // not a reason for the command to die; nor is a reader of the standard
    // output that goes away (see kStopOutputClosed).
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
}

void RequestStop(int request)
{
    Record(request);
}

int StopRequest()
{
    return g_request;
}

int StopExitStatus(int request)
{
    return 128 + request;
}

std::string StopRequestName(int request)
{
    if (request == kStopOutputClosed)
        return "the standard output was closed";  // SIGPIPE itself is ignored
    const char* name = strsignal(request);
    return "signal " + std::to_string(request) + (name ? std::string(", ") + name : std::string());
}
