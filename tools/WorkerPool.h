// Runs jobs in worker processes of this program, since the library converts
// one file at a time per process. The parent hands out one job at a
// time over each worker's task pipe and reads outcomes from its result pipe;
// a worker that dies mid-job is reported as that job's failure and replaced.
// Workers end with the parent, however it ends. The implementation is the
// platform's: tools/posix/ forks, tools/win32/ starts this program again in
// a worker mode of its own.
#ifndef QUORVAN_TOOLS_WORKERPOOL_H
#define QUORVAN_TOOLS_WORKERPOOL_H

#include <stddef.h>

#include <functional>
#include <string>
#include <vector>

#include "Outcome.h"

struct PoolJobs {
    size_t count = 0;
    // Optional, in the parent as job i is handed out: the argument its run
    // gets; or false, and the job is finished with *refused without running.
    std::function<bool(size_t, std::string*, Outcome*)> prepare;
    // Runs job i, with its argument, in a worker process.
    std::function<Outcome(size_t, const std::string&)> run;
    // Optional, one per job: jobs with the same non-empty key never run at
    // the same time (the same input file given twice, for one).
    std::vector<std::string> exclusiveKeys;
};

struct PoolEvents {
    // In the parent, as each job finishes (in the order they finish).
    std::function<void(size_t, const Outcome&)> finished;
    // In the parent, as job i goes to the worker with that process id.
    std::function<void(size_t, long)> started;
    // In the parent, about every tickMilliseconds while jobs are running.
    std::function<void()> tick;
    int tickMilliseconds = 250;
    // Looked at several times a second: a non-zero answer (the stop request)
    // stops every worker, each removing the file it was writing, and
    // finishes every job not done yet as Outcome::kInterrupted.
    std::function<int()> stopRequested;
};

// First thing in main: where workers are this program started again, a
// worker's command line is the command's own behind the worker's private
// arguments; these are taken off (so the options parse as the command's) and
// kept, and RunInWorkers then serves the parent's jobs instead of starting
// workers. Elsewhere nothing happens.
void TakeWorkerArguments(int* argc, char*** argv);

// How a worker died, in words for a message: "signal 11, Segmentation fault"
// for an Outcome::kCrashed code.
std::string CrashName(int code);

// Runs every job with at most `workers` processes (at least one) and returns
// when all have finished; outcomes[i] is job i's.
std::vector<Outcome> RunInWorkers(const PoolJobs& jobs, unsigned workers, const PoolEvents& events);

#endif
