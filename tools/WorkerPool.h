// Runs jobs in worker processes forked from this one, since the library
// converts one file at a time per process. The parent hands out one job at a
// time over each worker's task pipe and reads outcomes from its result pipe;
// a worker that dies mid-job is reported as that job's failure and replaced.
#ifndef QUORVAN_TOOLS_WORKERPOOL_H
#define QUORVAN_TOOLS_WORKERPOOL_H

#include <stddef.h>

#include <functional>
#include <string>
#include <vector>

#include "Outcome.h"

struct PoolJobs {
    size_t count = 0;
    // Runs job i in a worker process.
    std::function<Outcome(size_t)> run;
    // Optional, one per job: jobs with the same non-empty key never run at
    // the same time (the same input file given twice, for one).
    std::vector<std::string> exclusiveKeys;
};

struct PoolEvents {
    // In the parent, as each job finishes (in the order they finish).
    std::function<void(size_t, const Outcome&)> finished;
    // In the parent, about every tickMilliseconds while jobs are running.
    std::function<void()> tick;
    int tickMilliseconds = 250;
};

// Runs every job with at most `workers` processes (at least one) and returns
// when all have finished; outcomes[i] is job i's.
std::vector<Outcome> RunInWorkers(const PoolJobs& jobs, unsigned workers, const PoolEvents& events);

#endif
