// A run of the command: the jobs and the events of the worker pool.
#include "CommandRun.h"

#include <stdio.h>

#include "Conversion.h"
#include "Files.h"
#include "Interrupt.h"
#include "Processes.h"
#include "ResultCodes.h"
#include "StandardStreams.h"
#include "WaveFormat.h"

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
    file.audioSeconds = WaveSeconds(written > kWaveHeaderBytes ? written - kWaveHeaderBytes : 0);
    return file;
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

CommandRun::CommandRun(const Options& options)
    : m_inputs(options.inputs),
      m_planner(options.output, options.force),
      m_plans(m_inputs.size()),
      m_workerOf(m_inputs.size(), 0),
      m_width(options.quiet ? 0 : StandardErrorTerminalWidth()),
      m_progress(stderr, m_width > 0, m_inputs.size(), m_width),
      m_report(m_inputs, m_plans, options.quiet),
      m_streamed(options.output == "-")
{
}

void CommandRun::Run(unsigned workers)
{
    // Names are chosen and claimed in this process, one job after another,
    // so no two jobs ever get the same file.
    auto prepare = [this](size_t i, WorkerTask* task, Outcome* refused) {
        if (!m_planner.Plan(m_inputs[i], &m_plans[i], refused))
            return false;
        *task = WorkerTask{m_inputs[i], m_plans[i].path, m_plans[i].created};
        return true;
    };
    PoolEvents events;
    events.started = [this](size_t i, long pid) { Started(i, pid); };
    events.finished = [this](size_t i, const Outcome& result) { Finished(i, result); };
    events.tick = [this] { Tick(); };
    // A streamed WAV file is looked at often, so that its bytes go out soon.
    if (m_streamed)
        events.tickMilliseconds = 20;
    m_progress.Tick();
    WorkerPool(m_inputs.size(), prepare, FileIdentities(m_inputs), events).Run(workers);
    m_progress.Clear();
}

int CommandRun::End() const
{
    return m_report.End(StopRequest());
}

void CommandRun::Started(size_t i, long pid)
{
    m_workerOf[i] = pid;
    if (m_plans[i].toStdout)
        m_relay.reset(new StreamRelay(m_plans[i].path));
    m_progress.Update(i, RunningFile{m_inputs[i], -1, 0});
}

void CommandRun::Finished(size_t i, const Outcome& result)
{
    Outcome outcome = result;
    const OutputPlan& plan = m_plans[i];
    if (plan.toStdout && m_relay) {
        if (!m_relay->Finish(KeepsFile(outcome)) && KeepsFile(outcome))
            SendingFailed(*m_relay, &outcome);
        m_relay.reset();
    }
    if (outcome.kind == Outcome::kInterrupted)
        m_progress.Stop();
    m_planner.Release(plan, KeepsFile(outcome) && !plan.path.empty() && !plan.toStdout);
    m_progress.Clear();
    m_report.Finished(i, outcome);
    m_progress.FileDone(i, outcome.Ok() ? WaveSeconds(outcome.audioBytes) : 0.0);
}

void CommandRun::Tick()
{
    // The reader of -o - went away: the run ends as if by SIGPIPE.
    if (m_relay && !m_relay->Pump() && m_relay->Closed())
        RequestStop(kStopOutputClosed);
    if (StopRequest() != 0)
        m_progress.Stop();
    if (!m_progress.enabled())
        return;
    for (size_t i = 0; i < m_inputs.size(); ++i)
        if (m_workerOf[i] != 0 && !m_report.Done(i))
            m_progress.Update(i, Probe(m_inputs[i], m_workerOf[i], m_plans[i]));
    m_progress.Tick();
}
