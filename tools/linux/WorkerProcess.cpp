// Worker processes on Linux: posix_spawn of /proc/self/exe with the worker's
// pipe ends inherited (the command's own ends are close-on-exec, so no
// worker holds another's), poll, SIGTERM, waitpid. A worker ends with the
// command through PR_SET_PDEATHSIG; a stop signal removes the file being
// written, then ends the worker by that signal. (/proc must be mounted, as
// for the progress line.)
#include "WorkerProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

template <typename Step, typename Byte>
bool Whole(Step step, PipeEnd end, Byte* p, size_t size)
{
    while (size > 0) {
        ssize_t n = step(static_cast<int>(end), p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void Close(PipeEnd* end)
{
    if (*end >= 0)
        close(static_cast<int>(*end));
    *end = -1;
}

// Written outside the handler only while stop signals are blocked.
char g_unfinished[PATH_MAX + 1];

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
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

bool WriteAll(PipeEnd end, const void* data, size_t size)
{
    return Whole(write, end, static_cast<const char*>(data), size);
}

bool ReadAll(PipeEnd end, void* data, size_t size)
{
    return Whole(read, end, static_cast<char*>(data), size);
}

bool StartWorker(WorkerProcess* worker, std::string* error)
{
    int task[2], result[2];
    if (pipe2(task, O_CLOEXEC) != 0) {
        *error = strerror(errno);
        return false;
    }
    if (pipe2(result, O_CLOEXEC) != 0) {
        *error = strerror(errno);
        close(task[0]);
        close(task[1]);
        return false;
    }
    fcntl(task[0], F_SETFD, 0);
    fcntl(result[1], F_SETFD, 0);
    std::string option = "--worker-of=" + std::to_string(getpid()) + "," + std::to_string(task[0]) + "," +
                         std::to_string(result[1]);
    char name[] = "quorvan";
    char* argv[] = {name, &option[0], nullptr};
    fflush(stdout);
    fflush(stderr);
    pid_t pid;
    int failed = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ);
    close(task[0]);
    close(result[1]);
    if (failed != 0) {
        *error = strerror(failed);
        close(task[1]);
        close(result[0]);
        return false;
    }
    worker->id = pid;
    worker->tasks = task[1];
    worker->results = result[0];
    return true;
}

std::vector<size_t> WaitForWorkers(const std::vector<const WorkerProcess*>& workers, int milliseconds)
{
    std::vector<pollfd> fds;
    for (const WorkerProcess* w : workers)
        fds.push_back({static_cast<int>(w->results), POLLIN, 0});
    std::vector<size_t> ready;
    if (poll(fds.data(), fds.size(), milliseconds) > 0)  // else a tick, or EINTR
        for (size_t k = 0; k < fds.size(); ++k)
            if (fds[k].revents != 0)
                ready.push_back(k);
    return ready;
}

void StopWorker(WorkerProcess* worker)
{
    kill(static_cast<pid_t>(worker->id), SIGTERM);
    Close(&worker->tasks);
}

Outcome ReapWorker(WorkerProcess* worker, bool killIt)
{
    Close(&worker->tasks);
    Close(&worker->results);
    pid_t pid = static_cast<pid_t>(worker->id);
    int status = 0;
    pid_t r;
    if (killIt && waitpid(pid, &status, WNOHANG) == 0)
        kill(pid, SIGKILL);  // did not stop in time
    do
        r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    Outcome outcome;
    if (r == pid && WIFSIGNALED(status)) {
        outcome.kind = Outcome::kCrashed;
        outcome.code = WTERMSIG(status);
    } else {
        outcome.kind = Outcome::kWorkerExited;
        outcome.code = r == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return outcome;
}

std::string CrashName(int code)
{
    const char* name = strsignal(code);
    return "signal " + std::to_string(code) + (name ? std::string(", ") + name : std::string());
}

bool AttachToCommand(const std::string& value, PipeEnd* tasks, PipeEnd* results)
{
    long parent, task, result;
    if (sscanf(value.c_str(), "%ld,%ld,%ld", &parent, &task, &result) != 3 || fcntl(task, F_GETFD) < 0 ||
        fcntl(result, F_GETFD) < 0)
        return false;
    *tasks = task;
    *results = result;
    struct sigaction action = {};
    action.sa_handler = Stop;
    action.sa_mask = StopSignals();
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, nullptr);  // past a file-size limit, write() fails with EFBIG
    sigaction(SIGPIPE, &ignore, nullptr);  // a command gone is a failed write
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != static_cast<pid_t>(parent))
        Stop(SIGTERM);  // the command died before that took hold
    sigset_t set = StopSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    return true;
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
