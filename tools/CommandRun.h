// One run of the command over its inputs: the names chosen for them, the
// jobs handed to the workers, what is said as the workers report, and the
// exit status.
#ifndef QUORVAN_TOOLS_COMMANDRUN_H
#define QUORVAN_TOOLS_COMMANDRUN_H

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "Options.h"
#include "OutputPlan.h"
#include "Progress.h"
#include "Report.h"
#include "StreamRelay.h"
#include "WorkerPool.h"

class CommandRun {
public:
    explicit CommandRun(const Options& options);

    // Runs every job in up to `workers` worker processes.
    void Run(unsigned workers);
    // The run's last line and its exit status.
    int End() const;

private:
    void Started(size_t i, long pid);
    void Finished(size_t i, const Outcome& result);
    void Tick();

    const std::vector<std::string>& m_inputs;
    OutputPlanner m_planner;
    std::vector<OutputPlan> m_plans;
    std::vector<long> m_workerOf;  // the worker of each running job
    size_t m_width;
    ProgressLine m_progress;
    RunReport m_report;
    bool m_streamed;
    // -o -: the WAV file goes out as the library writes it.
    std::unique_ptr<StreamRelay> m_relay;
};

#endif
