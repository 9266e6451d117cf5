// quorvan: converts MPEG audio files into WAV files with the Quorvan library.
#include <stdio.h>

#include <string>

#include "CommandRun.h"
#include "WorkerThreads.h"
#include "Interrupt.h"
#include "Options.h"
#include "Processes.h"
#include "StandardStreams.h"
#include "WorkerPool.h"

namespace {

// False with the exit status when the options end the run before any file:
// a usage error, --help, --version.
bool TakeOptions(int argc, char** argv, Options* options, int* status)
{
    std::string error;
    if (!ParseOptions(argc, argv, options, &error)) {
        fprintf(stderr, "quorvan: %s\nTry 'quorvan --help' for more information.\n", error.c_str());
        *status = kExitUsage;
        return false;
    }
    *status = kExitAllConverted;
    if (options->help)
        fputs(UsageText().c_str(), stdout);
    else if (options->version)
        printf("quorvan %s\n", QUORVAN_VERSION);
    return !options->help && !options->version;
}

}  // namespace

int main(int argc, char** argv)
{
    OpenStandardStreams();
    Options options;
    int status;
    if (!TakeOptions(argc, argv, &options, &status))
        return status;
    // A worker of the command: the same program, started by it (WorkerPool.h).
    if (!options.workerOf.empty())
        RunWorker(options.workerOf);

    CommandRun run(options);
    CatchStopRequests();
    const unsigned cores = UsableCores();
    unsigned workers = options.jobs ? options.jobs : cores;
    ShareCoresAmongWorkers(cores, workers, options.inputs.size());
    run.Run(workers);
    return run.End();
}
