#include "WorkerThreads.h"

#include <stdlib.h>

#include <string>

#include "QuorvanDecoderSettings.h"

using quorvan::kDecoderThreadsVariable;

unsigned ThreadsPerWorker(unsigned cores, unsigned workers, size_t jobs)
{
    size_t running = workers < jobs ? workers : jobs;
    if (running == 0)
        running = 1;
    size_t share = cores / running;
    return share > 0 ? static_cast<unsigned>(share) : 1u;
}

void ShareCoresAmongWorkers(unsigned cores, unsigned workers, size_t jobs)
{
    if (getenv(kDecoderThreadsVariable) != nullptr)
        return;  // the user's choice stands
    // putenv keeps the string itself, so it must outlive the process's use.
    static std::string setting;
    setting = std::string(kDecoderThreadsVariable) + "=" + std::to_string(ThreadsPerWorker(cores, workers, jobs));
    putenv(&setting[0]);
}
