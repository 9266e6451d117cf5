// Converts files in worker processes of this program, since the library
// converts one file at a time per process. The command hands one task at a
// time to each idle worker, in input order, never two with the same
// exclusive key at once; a worker that dies mid-task is that task's failure
// and is replaced while tasks remain (once per job at most, so that workers
// that keep dying fail the rest instead). Workers end with the command,
// however it ends. A worker is this program in worker mode (RunWorker),
// started through WorkerProcess.h.
#ifndef QUORVAN_TOOLS_WORKERPOOL_H
#define QUORVAN_TOOLS_WORKERPOOL_H

#include <stddef.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Outcome.h"
#include "WorkerProcess.h"

// A file to convert, as the command hands it to a worker.
struct WorkerTask {
    std::string input;  // "-": the standard input
    std::string output;
    bool made = false;  // the output is this run's own: removed if the worker is stopped
};

// Worker mode (the internal option --worker-of): converts the command's
// tasks and reports each outcome until the command closes the task pipe.
[[noreturn]] void RunWorker(const std::string& command);

struct PoolEvents {
    std::function<void(size_t, long)> started;  // job i went to the worker with that process id
    std::function<void(size_t, const Outcome&)> finished;  // job i finished (in the order jobs finish)
    std::function<void()> tick;  // about every tickMilliseconds while jobs are running
    int tickMilliseconds = 250;
};

class WorkerPool {
public:
    // prepare, as job i is handed out: its task, or false and the outcome
    // that finishes it unrun. Jobs with the same non-empty exclusive key
    // never run at the same time.
    typedef std::function<bool(size_t, WorkerTask*, Outcome*)> Prepare;
    WorkerPool(size_t jobs, const Prepare& prepare, const std::vector<std::string>& exclusiveKeys,
               const PoolEvents& events);

    // Runs every job with at most `workers` processes. A stop request
    // (Interrupt.h) stops every worker, each removing the file it was
    // writing, and finishes every job not done as Outcome::kInterrupted.
    void Run(unsigned workers);

private:
    static const size_t kNoJob = static_cast<size_t>(-1);
    struct Worker {
        WorkerProcess process;
        size_t job = kNoJob;
        bool dead = false;  // gone before it took its task, or stopped
    };

    void StartWorkers();
    bool KeyInUse(size_t job) const;
    std::vector<size_t> Busy() const;
    std::vector<size_t> WaitForBusy(int milliseconds, std::vector<size_t>* busy) const;
    void Dispatch();
    void Collect(size_t worker);
    void Stop(int request);
    void Finish(size_t job, const Outcome& outcome);
    void FailPending(const std::string& why);

    const size_t m_count;
    const Prepare m_prepare;
    const std::vector<std::string> m_keys;
    const PoolEvents m_events;
    std::vector<WorkerTask> m_tasks;
    std::vector<bool> m_prepared;
    std::deque<size_t> m_pending;
    std::vector<Worker> m_workers;
    size_t m_finished = 0;
    size_t m_wanted = 1;  // workers at once
    size_t m_starts = 0;
};

#endif
