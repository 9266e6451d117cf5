// quorvan: converts MPEG audio files into WAV files with the Quorvan library.
#include <stdio.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Conversion.h"
#include "DecoderThreads.h"
#include "FileSystem.h"
#include "Interrupt.h"
#include "Messages.h"
#include "Options.h"
#include "OutputPlan.h"
#include "Progress.h"
#include "ResultCodes.h"
#include "StreamRelay.h"
#include "WorkerPool.h"

namespace {

// The same file named twice (or by two names) is not converted twice at once.
std::vector<std::string> FileIdentities(const std::vector<std::string>& inputs)
{
    std::vector<std::string> keys;
    for (const std::string& input : inputs) {
        FileId id = input == "-" ? FileId() : IdentityOf(input);
        keys.push_back(id.valid ? std::to_string(id.device) + ":" + std::to_string(id.node) : std::string());
    }
    return keys;
}

// What a running job has got to: the share of its input read, and the audio
// in its WAV file so far.
RunningFile Probe(const std::string& input, long pid, const OutputPlan& plan)
{
    RunningFile file;
    file.label = input;
    uint64_t size = input == "-" ? 0 : FileSize(input);
    uint64_t position;
    if (size > 0 && ReadPosition(pid, IdentityOf(input), &position))
        file.fraction = static_cast<double>(position) / static_cast<double>(size);
    uint64_t written = FileSize(plan.path);
    file.audioSeconds = AudioSeconds(written > 44 ? written - 44 : 0);
    return file;
}

// Whether the WAV file stays when the conversion ends so: a success, or one
// the library leaves as a valid (code 6) or unfinished (code 5) file.
bool KeepsFile(const Outcome& o)
{
    return o.Ok() ||
           (o.kind == Outcome::kLibraryError && (o.code == QV_ERR_WRITE_BLOCK || o.code == QV_ERR_CLOSE_WAVE));
}

// The WAV file of -o - did not fully reach the standard output.
void SendingFailed(const StreamRelay& relay, Outcome* outcome)
{
    if (relay.Closed()) {
        // Gone after the conversion was done, but before all of it was read.
        RequestStop(kStopOutputClosed);
        outcome->kind = Outcome::kInterrupted;
        outcome->code = kStopOutputClosed;
        outcome->detail.clear();
    } else {
        outcome->kind = Outcome::kLibraryError;
        outcome->code = QV_ERR_WRITE_BLOCK;
        outcome->detail = relay.Error();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    TakeWorkerArguments(&argc, &argv);
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
    OutputPlanner planner(options.output, options.force);
    std::vector<OutputPlan> plans(count);
    std::vector<long> workerOf(count, 0);

    PoolJobs jobs;
    jobs.count = count;
    // Names are chosen and claimed in this process, one job after another,
    // so no two jobs ever get the same file.
    jobs.prepare = [&](size_t i, std::string* argument, Outcome* refused) {
        if (!planner.Plan(inputs[i], &plans[i], refused))
            return false;
        *argument = (plans[i].created ? "1" : "0") + plans[i].path;
        return true;
    };
    jobs.run = [&inputs](size_t i, const std::string& argument) {
        return ConvertFile(inputs[i], argument.substr(1), argument[0] == '1');
    };
    jobs.exclusiveKeys = FileIdentities(inputs);

    size_t width = options.quiet ? 0 : StandardErrorTerminalWidth();
    ProgressLine progress(stderr, width > 0, count, width);
    std::vector<Outcome> outcomes(count);
    std::vector<bool> known(count, false);
    size_t printed = 0;
    bool anyFailed = false;
    // Inputs whose WAV file stayed in the temporary folder, with that file.
    std::vector<std::pair<std::string, std::string>> inTemporaryFolder;
    // -o -: the WAV file goes out as the library writes it.
    std::unique_ptr<StreamRelay> relay;

    // Lines come out in input order: each as soon as every earlier file is
    // done too.
    PoolEvents events;
    events.started = [&](size_t i, long pid) {
        workerOf[i] = pid;
        if (plans[i].toStdout)
            relay.reset(new StreamRelay(plans[i].path));
        progress.Update(i, RunningFile{inputs[i], -1, 0});
    };
    events.finished = [&](size_t i, const Outcome& result) {
        Outcome outcome = result;
        const OutputPlan& plan = plans[i];
        if (plan.toStdout && relay) {
            if (!relay->Finish(KeepsFile(outcome)) && KeepsFile(outcome))
                SendingFailed(*relay, &outcome);
            relay.reset();
        }
        if (outcome.kind == Outcome::kInterrupted)
            progress.Stop();
        bool kept = KeepsFile(outcome) && !plan.path.empty() && !plan.toStdout;
        planner.Release(plan, kept);
        outcomes[i] = outcome;
        known[i] = true;
        progress.Clear();
        for (; printed < count && known[printed]; ++printed) {
            const Outcome& o = outcomes[printed];
            const OutputPlan& p = plans[printed];
            const std::string& input = inputs[printed];
            bool fileLeft = KeepsFile(o) && !p.path.empty() && !p.toStdout;
            if (fileLeft && !p.notice.empty()) {
                inTemporaryFolder.emplace_back(input, p.path);
                if (!options.quiet)
                    fprintf(stderr, "quorvan: %s: %s, so the WAV file went to %s\n", input.c_str(), p.notice.c_str(),
                            p.path.c_str());
            }
            if (o.Ok()) {
                if (!options.quiet && !p.toStdout)
                    printf("%s -> %s\n", input.c_str(), o.output.c_str());
            } else {
                anyFailed = true;
                std::string line = FailureLine(input, o);
                if (fileLeft)
                    line += " (" + p.path + " holds the audio written before)";
                fprintf(stderr, "%s\n", line.c_str());
            }
            fflush(stdout);
            fflush(stderr);
        }
        progress.FileDone(i, outcome.Ok() ? AudioSeconds(outcome.audioBytes) : 0.0);
    };
    events.tick = [&] {
        // The reader of -o - went away: the run ends as if by SIGPIPE.
        if (relay && !relay->Pump() && relay->Closed())
            RequestStop(kStopOutputClosed);
        if (StopRequest() != 0)
            progress.Stop();
        if (!progress.enabled())
            return;
        for (size_t i = 0; i < count; ++i)
            if (workerOf[i] != 0 && !known[i])
                progress.Update(i, Probe(inputs[i], workerOf[i], plans[i]));
        progress.Tick();
    };
    // A streamed WAV file is looked at often, so that its bytes go out soon.
    if (options.output == "-")
        events.tickMilliseconds = 20;
    events.stopRequested = StopRequest;

    CatchStopRequests();
    const unsigned cores = UsableCores();
    unsigned workers = options.jobs ? options.jobs : cores;
    ShareCoresAmongWorkers(cores, workers, count);
    progress.Tick();
    RunInWorkers(jobs, workers, events);
    progress.Clear();
    // Said last, and also with -q: a script sees it in the exit status too.
    if (!inTemporaryFolder.empty())
        fprintf(stderr, "%s\n", TemporaryFolderLine(inTemporaryFolder, count).c_str());
    if (StopRequest() != 0)
        return StopExitStatus(StopRequest());
    if (anyFailed)
        return kExitSomeFailed;
    return inTemporaryFolder.empty() ? kExitAllConverted : kExitSomeInTemporaryFolder;
}
