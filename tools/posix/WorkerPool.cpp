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
#include <deque>

#include "Interrupt.h"
#include "posix/Descriptors.h"
#include "WorkerProcess.h"

namespace {

const size_t kNoJob = static_cast<size_t>(-1);

// An outcome on the wire: this header, then the output path and the detail.
struct WireHeader {
    int32_t kind;
    int32_t code;
    uint64_t audioBytes;
    uint32_t outputLength;
    uint32_t detailLength;
};

// A task on the wire: the job number, the length of its argument, the argument.
bool SendTask(int fd, uint64_t job, const std::string& argument)
{
    uint32_t length = static_cast<uint32_t>(argument.size());
    return WriteAll(fd, &job, sizeof job) && WriteAll(fd, &length, sizeof length) &&
           WriteAll(fd, argument.data(), argument.size());
}

bool ReceiveTask(int fd, uint64_t* job, std::string* argument)
{
    uint32_t length;
    if (!ReadAll(fd, job, sizeof *job) || !ReadAll(fd, &length, sizeof length))
        return false;
    argument->resize(length);
    return ReadAll(fd, &(*argument)[0], length);
}

bool SendOutcome(int fd, const Outcome& o)
{
    WireHeader h = {o.kind, o.code, o.audioBytes, static_cast<uint32_t>(o.output.size()),
                    static_cast<uint32_t>(o.detail.size())};
    return WriteAll(fd, &h, sizeof h) && WriteAll(fd, o.output.data(), o.output.size()) &&
           WriteAll(fd, o.detail.data(), o.detail.size());
}

bool ReceiveOutcome(int fd, Outcome* o)
{
    WireHeader h;
    if (!ReadAll(fd, &h, sizeof h))
        return false;
    o->kind = static_cast<Outcome::Kind>(h.kind);
    o->code = h.code;
    o->audioBytes = h.audioBytes;
    o->output.resize(h.outputLength);
    o->detail.resize(h.detailLength);
    return ReadAll(fd, &o->output[0], h.outputLength) && ReadAll(fd, &o->detail[0], h.detailLength);
}

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
    while (ReceiveTask(taskFd, &job, &argument)) {
        Outcome outcome = job < jobs.count ? jobs.run(static_cast<size_t>(job), argument) : Outcome();
        // A finished file is reported whole before a stop takes effect, and
        // whatever the job printed goes out before its outcome is known.
        HoldStop(true);
        fflush(stdout);
        fflush(stderr);
        bool sent = SendOutcome(resultFd, outcome);
        HoldStop(false);
        if (!sent)
            break;
    }
    _exit(0);
}

class Pool {
public:
    Pool(const PoolJobs& jobs, const PoolEvents& events)
        : jobs_(jobs), events_(events), outcomes_(jobs.count), arguments_(jobs.count), prepared_(jobs.count, false)
    {
        for (size_t i = 0; i < jobs.count; ++i)
            pending_.push_back(i);
    }

    std::vector<Outcome> Run(unsigned maxWorkers)
    {
        if (maxWorkers < 1)
            maxWorkers = 1;
        if (maxWorkers > jobs_.count)
            maxWorkers = static_cast<unsigned>(jobs_.count);
        // A worker that dies leaves a broken pipe: that is an error to handle
        // here, not a reason for the parent to die.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);

        std::string startError;
        for (unsigned i = 0; i < maxWorkers; ++i)
            if (!Spawn(&startError))
                break;
        if (workers_.empty())
            FailPending(startError);

        while (finished_ < jobs_.count) {
            int stop = events_.stopRequested ? events_.stopRequested() : 0;
            if (stop != 0) {
                Stop(stop);
                break;
            }
            Dispatch();
            if (Busy() == 0) {
                // Jobs remain but every worker is gone (or was just
                // replaced and is about to get one).
                if (workers_.empty()) {
                    if (replacements_++ > jobs_.count)
                        FailPending("worker processes keep ending unexpectedly");
                    else if (!Spawn(&startError))
                        FailPending(startError);
                }
                continue;
            }
            Wait();
        }
        for (Worker& w : workers_)
            Retire(w);
        workers_.clear();
        sigaction(SIGPIPE, &previous, nullptr);
        return outcomes_;
    }

private:
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
            for (Worker& w : workers_) {
                CloseFd(w.taskFd);
                CloseFd(w.resultFd);
            }
            close(task[1]);
            close(result[0]);
            WorkerMain(jobs_, task[0], result[1], parent);
        }
        close(task[0]);
        close(result[1]);
        Worker w;
        w.pid = pid;
        w.taskFd = task[1];
        w.resultFd = result[0];
        workers_.push_back(w);
        return true;
    }

    size_t Busy() const
    {
        size_t n = 0;
        for (const Worker& w : workers_)
            n += w.job != kNoJob;
        return n;
    }

    bool KeyInUse(size_t job) const
    {
        if (jobs_.exclusiveKeys.size() <= job || jobs_.exclusiveKeys[job].empty())
            return false;
        for (const Worker& w : workers_)
            if (w.job != kNoJob && jobs_.exclusiveKeys[w.job] == jobs_.exclusiveKeys[job])
                return true;
        return false;
    }

    // Hands the first pending job that may run now to each idle worker.
    void Dispatch()
    {
        for (size_t wi = 0; wi < workers_.size(); ++wi) {
            Worker& w = workers_[wi];
            if (w.job != kNoJob || w.dead)
                continue;
            auto it = pending_.begin();
            while (it != pending_.end() && KeyInUse(*it))
                ++it;
            if (it == pending_.end())
                break;
            size_t job = *it;
            pending_.erase(it);
            // Prepared once: a job handed back by a dead worker keeps its argument.
            Outcome refused;
            if (jobs_.prepare && !prepared_[job]) {
                if (!jobs_.prepare(job, &arguments_[job], &refused)) {
                    Finish(job, refused);  // it runs nowhere; the worker takes the next one
                    --wi;
                    continue;
                }
                prepared_[job] = true;
            }
            if (SendTask(w.taskFd, job, arguments_[job])) {
                w.job = job;
                if (events_.started)
                    events_.started(job, static_cast<long>(w.pid));
            } else {
                // The worker died between jobs: this one never reached it.
                pending_.push_front(job);
                w.dead = true;
            }
        }
        for (size_t wi = workers_.size(); wi-- > 0;) {
            if (!workers_[wi].dead)
                continue;
            Retire(workers_[wi]);
            workers_.erase(workers_.begin() + static_cast<long>(wi));
            Replace();
        }
    }

    // Starts a worker in place of one that died, while jobs remain. Workers
    // that keep dying do not make the pool spin: after as many replacements
    // as there are jobs the remaining jobs fail.
    void Replace()
    {
        if (pending_.empty())
            return;
        std::string error;
        if (++replacements_ > jobs_.count) {
            if (workers_.empty())
                FailPending("worker processes keep ending unexpectedly");
            return;
        }
        if (!Spawn(&error) && workers_.empty())
            FailPending(error);
    }

    void Wait()
    {
        std::vector<pollfd> fds;
        std::vector<size_t> owner;
        for (size_t wi = 0; wi < workers_.size(); ++wi) {
            if (workers_[wi].job == kNoJob)
                continue;
            fds.push_back({workers_[wi].resultFd, POLLIN, 0});
            owner.push_back(wi);
        }
        // Never blocked for long: a stop request is looked at on every round.
        int timeout = events_.tick ? events_.tickMilliseconds : 250;
        int ready = poll(fds.data(), fds.size(), timeout);
        if (events_.tick)
            events_.tick();
        if (ready <= 0)
            return;  // a tick, or EINTR
        // Workers that a stop signal to the whole group has ended are the
        // stop's to report, not crashes.
        if (events_.stopRequested && events_.stopRequested() != 0)
            return;
        // Collect first, then act: acting may replace workers.
        std::vector<size_t> readyWorkers;
        for (size_t k = 0; k < fds.size(); ++k)
            if (fds[k].revents != 0)
                readyWorkers.push_back(owner[k]);
        std::vector<size_t> lost;
        for (size_t wi : readyWorkers) {
            Worker& w = workers_[wi];
            Outcome outcome;
            size_t job = w.job;
            if (ReceiveOutcome(w.resultFd, &outcome)) {
                w.job = kNoJob;
                Finish(job, outcome);
            } else {
                lost.push_back(wi);
            }
        }
        // Remove lost workers from the back so the indices stay valid.
        for (size_t k = lost.size(); k-- > 0;) {
            Worker w = workers_[lost[k]];
            workers_.erase(workers_.begin() + static_cast<long>(lost[k]));
            Finish(w.job, Reap(w));
            Replace();
        }
    }

    // Every worker is told to stop (removing the file it was writing) and
    // reaped; outcomes already on their way still count, every other job is
    // reported as interrupted.
    void Stop(int request)
    {
        for (Worker& w : workers_) {
            kill(w.pid, SIGTERM);
            CloseFd(w.taskFd);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
        for (;;) {
            std::vector<pollfd> fds;
            std::vector<size_t> owner;
            for (size_t wi = 0; wi < workers_.size(); ++wi) {
                if (workers_[wi].job == kNoJob || workers_[wi].resultFd < 0)
                    continue;
                fds.push_back({workers_[wi].resultFd, POLLIN, 0});
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
                Worker& w = workers_[owner[k]];
                Outcome outcome;
                if (ReceiveOutcome(w.resultFd, &outcome)) {
                    size_t job = w.job;
                    w.job = kNoJob;
                    Finish(job, outcome);
                }
                CloseFd(w.resultFd);
            }
        }
        Outcome interrupted;
        interrupted.kind = Outcome::kInterrupted;
        interrupted.code = request;
        for (Worker& w : workers_) {
            if (w.resultFd >= 0)
                kill(w.pid, SIGKILL);  // did not stop in time
            CloseFd(w.resultFd);
            int status;
            while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (w.job != kNoJob)
                Finish(w.job, interrupted);
        }
        workers_.clear();
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Finish(job, interrupted);
        }
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

    void FailPending(const std::string& why)
    {
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Outcome outcome;
            outcome.kind = Outcome::kNoWorker;
            outcome.detail = why;
            Finish(job, outcome);
        }
    }

    void Finish(size_t job, const Outcome& outcome)
    {
        outcomes_[job] = outcome;
        ++finished_;
        if (events_.finished)
            events_.finished(job, outcome);
    }

    const PoolJobs& jobs_;
    const PoolEvents& events_;
    std::vector<Outcome> outcomes_;
    std::vector<std::string> arguments_;
    std::vector<bool> prepared_;
    std::deque<size_t> pending_;
    std::vector<Worker> workers_;
    size_t finished_ = 0;
    size_t replacements_ = 0;
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
