// The worker pool on POSIX systems: fork, per-worker pipes, poll, waitpid.
#include "WorkerPool.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "Interrupt.h"
#include "PoolScheduler.h"
#include "posix/Descriptors.h"
#include "WorkerProcess.h"
#include "WorkerWire.h"

namespace {

// A pipe's end, for the wire format.
struct Fd {
    int fd;
    bool Write(const void* data, size_t size) const { return WriteAll(fd, data, size); }
    bool Read(void* data, size_t size) const { return ReadAll(fd, data, size); }
};

struct Worker {
    pid_t pid = -1;
    int taskFd = -1;    // parent writes job numbers here
    int resultFd = -1;  // parent reads outcomes here
    size_t job = kNoJob;
    bool dead = false;  // its task pipe is broken
};

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// The worker's life: take a job, run it, report; until the task pipe closes.
[[noreturn]] void WorkerMain(const PoolJobs& jobs, int taskFd, int resultFd, pid_t parent)
{
    PrepareWorkerProcess(parent);
    uint64_t job;
    std::string argument;
    while (ReceiveTask(Fd{taskFd}, &job, &argument)) {
        Outcome outcome = job < jobs.count ? jobs.run(static_cast<size_t>(job), argument) : Outcome();
        // A finished file is reported whole before a stop takes effect, and
        // whatever the job printed goes out before its outcome is known.
        HoldStop(true);
        fflush(stdout);
        fflush(stderr);
        bool sent = SendOutcome(Fd{resultFd}, outcome);
        HoldStop(false);
        if (!sent)
            break;
    }
    _exit(0);
}

class Pool : public PoolScheduler<Pool, Worker> {
public:
    using PoolScheduler::PoolScheduler;

    std::vector<Outcome> Run(unsigned maxWorkers)
    {
        // A worker that dies leaves a broken pipe: that is an error to handle
        // here, not a reason for the parent to die.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        std::vector<Outcome> outcomes = PoolScheduler::Run(maxWorkers);
        sigaction(SIGPIPE, &previous, nullptr);
        return outcomes;
    }

    bool Spawn(std::string* error)
    {
        int task[2], result[2];
        if (pipe(task) != 0) {
            *error = strerror(errno);
            return false;
        }
        if (pipe(result) != 0) {
            *error = strerror(errno);
            close(task[0]);
            close(task[1]);
            return false;
        }
        fflush(stdout);
        fflush(stderr);
        pid_t parent = getpid();
        HoldStopRequests(true);
        pid_t pid = fork();
        if (pid != 0)
            HoldStopRequests(false);
        if (pid < 0) {
            *error = strerror(errno);
            for (int fd : {task[0], task[1], result[0], result[1]})
                close(fd);
            return false;
        }
        if (pid == 0) {
            // The other workers' pipes stay with the parent, or their ends
            // of file would never come.
            for (Worker& w : m_workers) {
                CloseFd(w.taskFd);
                CloseFd(w.resultFd);
            }
            close(task[1]);
            close(result[0]);
            WorkerMain(Jobs(), task[0], result[1], parent);
        }
        close(task[0]);
        close(result[1]);
        Worker w;
        w.pid = pid;
        w.taskFd = task[1];
        w.resultFd = result[0];
        m_workers.push_back(w);
        return true;
    }

    bool SendTask(Worker& w, size_t job, const std::string& argument)
    {
        return ::SendTask(Fd{w.taskFd}, job, argument);
    }

    long IdOf(const Worker& w) const { return static_cast<long>(w.pid); }

    bool ReceiveFrom(Worker& w, Outcome* outcome) { return ReceiveOutcome(Fd{w.resultFd}, outcome); }

    void Wait()
    {
        std::vector<pollfd> fds;
        std::vector<size_t> owner;
        for (size_t wi = 0; wi < m_workers.size(); ++wi) {
            if (m_workers[wi].job == kNoJob)
                continue;
            fds.push_back({m_workers[wi].resultFd, POLLIN, 0});
            owner.push_back(wi);
        }
        // Never blocked for long: a stop request is looked at on every round.
        int ready = poll(fds.data(), fds.size(), TickMilliseconds());
        Tick();
        if (ready <= 0)
            return;  // a tick, or EINTR
        std::vector<size_t> readyWorkers;
        for (size_t k = 0; k < fds.size(); ++k)
            if (fds[k].revents != 0)
                readyWorkers.push_back(owner[k]);
        Collect(readyWorkers);
    }

    // Every worker is told to stop (removing the file it was writing) and
    // reaped; outcomes already on their way still count, every other job is
    // reported as interrupted.
    void Stop(int request)
    {
        for (Worker& w : m_workers) {
            kill(w.pid, SIGTERM);
            CloseFd(w.taskFd);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
        for (;;) {
            std::vector<pollfd> fds;
            std::vector<size_t> owner;
            for (size_t wi = 0; wi < m_workers.size(); ++wi) {
                if (m_workers[wi].job == kNoJob || m_workers[wi].resultFd < 0)
                    continue;
                fds.push_back({m_workers[wi].resultFd, POLLIN, 0});
                owner.push_back(wi);
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (fds.empty() || left.count() <= 0)
                break;
            if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0)
                continue;
            for (size_t k = 0; k < fds.size(); ++k) {
                if (fds[k].revents == 0)
                    continue;
                Worker& w = m_workers[owner[k]];
                Outcome outcome;
                if (ReceiveFrom(w, &outcome)) {
                    size_t job = w.job;
                    w.job = kNoJob;
                    Finish(job, outcome);
                }
                CloseFd(w.resultFd);
            }
        }
        for (Worker& w : m_workers) {
            if (w.resultFd >= 0)
                kill(w.pid, SIGKILL);  // did not stop in time
            CloseFd(w.resultFd);
            int status;
            while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        Interrupted(request);
    }

    // The outcome for the job of a worker whose result pipe ended early.
    Outcome Reap(Worker& w)
    {
        CloseFd(w.taskFd);
        CloseFd(w.resultFd);
        Outcome outcome;
        int status = 0;
        pid_t r;
        do
            r = waitpid(w.pid, &status, 0);
        while (r < 0 && errno == EINTR);
        if (r == w.pid && WIFSIGNALED(status)) {
            outcome.kind = Outcome::kCrashed;
            outcome.code = WTERMSIG(status);
        } else {
            outcome.kind = Outcome::kWorkerExited;
            outcome.code = r == w.pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return outcome;
    }

    // An idle worker: closing its task pipe ends it.
    void Retire(Worker& w)
    {
        CloseFd(w.taskFd);
        CloseFd(w.resultFd);
        int status;
        while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
};

}  // namespace

std::vector<Outcome> RunInWorkers(const PoolJobs& jobs, unsigned workers, const PoolEvents& events)
{
    if (jobs.count == 0)
        return std::vector<Outcome>();
    return Pool(jobs, events).Run(workers);
}

void TakeWorkerArguments(int*, char***)
{
    // Workers are forked: they never start from main.
}

std::string CrashName(int code)
{
    const char* name = strsignal(code);
    return "signal " + std::to_string(code) + (name ? std::string(", ") + name : std::string());
}
