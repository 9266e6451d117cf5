// Worker mode: the command's tasks, one after another, through the library.
#include <stdio.h>
#include <unistd.h>

#include "Conversion.h"
#include "Options.h"
#include "WorkerPool.h"
#include "WorkerWire.h"

void RunWorker(const std::string& command)
{
    PipeEnd tasks, results;
    if (!AttachToCommand(command, &tasks, &results)) {
        fputs("quorvan: --worker-of is for the command's own use\n", stderr);
        _exit(kExitUsage);
    }
    WorkerTask task;
    while (ReceiveTask(tasks, &task)) {
        Outcome outcome = ConvertFile(task.input, task.output, task.made);
        // A finished file is reported whole before a stop takes effect, and
        // whatever the task printed goes out before its outcome is known.
        HoldStop(true);
        fflush(stdout);
        fflush(stderr);
        bool sent = SendOutcome(results, outcome);
        HoldStop(false);
        if (!sent)
            break;
    }
    // Every file is closed: what the library and the decoder modules hold
    // (their threads too) goes with the process.
    fflush(stdout);
    fflush(stderr);
    _exit(kExitAllConverted);
}
