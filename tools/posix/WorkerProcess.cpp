// A worker ends with the command: Linux signals it when its parent dies
// (PR_SET_PDEATHSIG), and a parent already gone before that was set shows in
// getppid(). A stop signal removes the file being written, then ends the
// worker by that signal.
#include "WorkerProcess.h"

#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Written outside the handler only while stop signals are blocked.
char g_unfinished[PATH_MAX + 1];

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kStopSignals)
        sigaddset(&set, s);
    return set;
}

void Stop(int signal)
{
    if (g_unfinished[0] != '\0')
        unlink(g_unfinished);
    // Ended by the signal itself, as if it had not been caught.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace

void PrepareWorkerProcess(long parentId)
{
    struct sigaction action = {};
    action.sa_handler = Stop;
    action.sa_mask = StopSignals();
    for (int s : kStopSignals)
        sigaction(s, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);  // past a file-size limit, write() fails with EFBIG

    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != static_cast<pid_t>(parentId))
        Stop(SIGTERM);  // the parent died before that took hold
    sigset_t set = StopSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void SetUnfinishedFile(const std::string& path)
{
    sigset_t set = StopSignals(), old;
    sigprocmask(SIG_BLOCK, &set, &old);
    size_t n = path.size() < PATH_MAX ? path.size() : 0;  // a name too long to keep is not removed
    memcpy(g_unfinished, path.data(), n);
    g_unfinished[n] = '\0';
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void HoldStop(bool hold)
{
    sigset_t set = StopSignals();
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}
