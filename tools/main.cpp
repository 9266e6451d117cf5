// quorvan: converts MPEG audio files into WAV files with the Quorvan library.
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Conversion.h"
#include "Messages.h"
#include "Options.h"
#include "Progress.h"
#include "WorkerPool.h"

namespace {

unsigned Cores()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

// The same file named twice (or by two names) must not be converted twice at
// once: both runs would pick the same WAV name.
std::vector<std::string> FileIdentities(const std::vector<std::string>& inputs)
{
    std::vector<std::string> keys;
    for (const std::string& input : inputs) {
        struct stat st;
        keys.push_back(stat(input.c_str(), &st) == 0
                           ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)
                           : std::string());
    }
    return keys;
}

// Started with standard output or error closed, the pipes to the workers
// would take their numbers and printed lines would land in them.
void OpenStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            break;
}

}  // namespace

int main(int argc, char** argv)
{
    OpenStandardStreams();
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "quorvan: %s\nTry 'quorvan --help' for more information.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        fputs(UsageText().c_str(), stdout);
        return kExitAllConverted;
    }
    if (options.version) {
        printf("quorvan %s\n", QUORVAN_VERSION);
        return kExitAllConverted;
    }

    const std::vector<std::string>& inputs = options.inputs;
    const size_t count = inputs.size();
    PoolJobs jobs;
    jobs.count = count;
    jobs.run = [&options](size_t i) { return ConvertFile(options.inputs[i], options.output, options.force); };
    jobs.exclusiveKeys = FileIdentities(inputs);

    ProgressLine progress(stderr, !options.quiet && isatty(STDERR_FILENO), count);
    std::vector<Outcome> outcomes(count);
    std::vector<bool> known(count, false);
    size_t printed = 0;
    bool anyFailed = false;

    // Lines come out in input order: each as soon as every earlier file is
    // done too.
    PoolEvents events;
    events.finished = [&](size_t i, const Outcome& outcome) {
        outcomes[i] = outcome;
        known[i] = true;
        progress.Clear();
        for (; printed < count && known[printed]; ++printed) {
            const Outcome& o = outcomes[printed];
            if (o.Ok()) {
                if (!options.quiet) {
                    printf("%s -> %s\n", inputs[printed].c_str(), o.output.c_str());
                    fflush(stdout);
                }
            } else {
                anyFailed = true;
                fprintf(stderr, "%s\n", FailureLine(inputs[printed], o).c_str());
                fflush(stderr);
            }
        }
        progress.FileDone(outcome.Ok() ? AudioSeconds(outcome.audioBytes) : 0.0);
    };
    events.tick = [&progress] { progress.Tick(); };

    unsigned workers = options.jobs ? options.jobs : Cores();
    progress.Tick();
    RunInWorkers(jobs, workers, events);
    progress.Clear();
    return anyFailed ? kExitSomeFailed : kExitAllConverted;
}
