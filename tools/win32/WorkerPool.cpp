// The worker pool on Windows. A worker is this program started again
// (GetModuleFileNameA) with the command's own command line behind a private
// first argument that names its inherited handles: the task pipe, the result
// pipe, the stop event. It parses the same options, builds the same jobs and
// reaches RunInWorkers, which then serves the parent's tasks. Every worker is
// in the command's job object, which ends it when the command goes. Results
// are looked for with PeekNamedPipe (anonymous pipes cannot be waited on).
#include "WorkerPool.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include <chrono>

#include "PoolScheduler.h"
#include "SystemErrors.h"
#include "WorkerProcess.h"
#include "WorkerWire.h"
#include "win32/Handles.h"
#include "win32/WorkerStart.h"
#include "win32/WorkerStop.h"

namespace {

// What a worker was started with; active only in a worker.
struct WorkerSide {
    bool active = false;
    HANDLE task = nullptr, result = nullptr, stop = nullptr;
    DWORD parent = 0;
} g_side;

// A pipe's end, for the wire format.
struct Pipe {
    HANDLE h;
    bool Write(const void* data, size_t size) const { return WriteAll(h, data, size); }
    bool Read(void* data, size_t size) const { return ReadAll(h, data, size); }
};

// The worker's life: take a job, run it, report; until the task pipe closes.
[[noreturn]] void WorkerMain(const PoolJobs& jobs)
{
    SetWorkerStopEvent(g_side.stop);
    PrepareWorkerProcess(static_cast<long>(g_side.parent));
    uint64_t job;
    std::string argument;
    while (ReceiveTask(Pipe{g_side.task}, &job, &argument)) {
        Outcome outcome = job < jobs.count ? jobs.run(static_cast<size_t>(job), argument) : Outcome();
        HoldStop(true);
        fflush(stdout);
        fflush(stderr);
        bool sent = SendOutcome(Pipe{g_side.result}, outcome);
        HoldStop(false);
        if (!sent)
            break;
    }
    fflush(stdout);
    fflush(stderr);
    _exit(0);
}

// Results waiting in the pipe, or a pipe whose worker is gone.
bool Readable(HANDLE h)
{
    DWORD available = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr))
        return true;  // broken: the read says so
    return available > 0;
}

struct Worker {
    HANDLE process = nullptr;
    DWORD pid = 0;
    HANDLE task = nullptr;    // parent writes tasks here
    HANDLE result = nullptr;  // parent reads outcomes here
    HANDLE stop = nullptr;    // set: the worker stops
    size_t job = kNoJob;
    bool dead = false;  // its task pipe is broken
};

class Pool : public PoolScheduler<Pool, Worker> {
public:
    using PoolScheduler::PoolScheduler;

    bool Spawn(std::string* error)
    {
        WorkerEnds ends;
        std::string commandLine;
        if (!ends.Make(error))
            return false;
        PROCESS_INFORMATION started;
        bool ok = WorkerCommandLine(ends, &commandLine, error) && StartSuspended(commandLine, &started, error);
        ends.CloseWorkers();
        if (!ok) {
            ends.CloseParents();
            return false;
        }
        SetHandleInformation(ends.stop, HANDLE_FLAG_INHERIT, 0);
        if (HANDLE job = WorkerJob())
            AssignProcessToJobObject(job, started.hProcess);  // else it still watches the command itself
        ResumeThread(started.hThread);
        CloseHandle(started.hThread);
        Worker w;
        w.process = started.hProcess;
        w.pid = started.dwProcessId;
        w.task = ends.taskWrite;
        w.result = ends.resultRead;
        w.stop = ends.stop;
        m_workers.push_back(w);
        return true;
    }

    bool SendTask(Worker& w, size_t job, const std::string& argument)
    {
        return ::SendTask(Pipe{w.task}, job, argument);
    }

    long IdOf(const Worker& w) const { return static_cast<long>(w.pid); }

    bool ReceiveFrom(Worker& w, Outcome* outcome) { return ReceiveOutcome(Pipe{w.result}, outcome); }

    // The busy workers whose result pipe has something (or broke), waiting
    // at most timeoutMs for one.
    std::vector<size_t> ReadyWorkers(int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::vector<size_t> ready;
            for (size_t wi = 0; wi < m_workers.size(); ++wi)
                if (m_workers[wi].job != kNoJob && m_workers[wi].result && Readable(m_workers[wi].result))
                    ready.push_back(wi);
            if (!ready.empty() || std::chrono::steady_clock::now() >= deadline)
                return ready;
            Sleep(5);
        }
    }

    void Wait()
    {
        std::vector<size_t> ready = ReadyWorkers(TickMilliseconds());
        Tick();
        if (!ready.empty())
            Collect(ready);
    }

    // Every worker is told to stop (removing the file it was writing) and
    // waited for; outcomes already on their way still count, every other
    // job is reported as interrupted.
    void Stop(int request)
    {
        for (Worker& w : m_workers) {
            SetEvent(w.stop);
            CloseIfOpen(w.task);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            bool waiting = false;
            for (const Worker& w : m_workers)
                waiting = waiting || (w.job != kNoJob && w.result);
            if (!waiting || left.count() <= 0)
                break;
            for (size_t wi : ReadyWorkers(static_cast<int>(left.count()))) {
                Worker& w = m_workers[wi];
                Outcome outcome;
                if (ReceiveFrom(w, &outcome)) {
                    size_t job = w.job;
                    w.job = kNoJob;
                    Finish(job, outcome);
                }
                CloseIfOpen(w.result);
            }
        }
        for (Worker& w : m_workers) {
            if (WaitForSingleObject(w.process, 0) != WAIT_OBJECT_0)
                TerminateProcess(w.process, kStoppedWorkerStatus);  // did not stop in time
            WaitForSingleObject(w.process, INFINITE);
            CloseWorker(w);
        }
        Interrupted(request);
    }

    static void CloseWorker(Worker& w)
    {
        CloseIfOpen(w.task);
        CloseIfOpen(w.result);
        CloseIfOpen(w.stop);
        CloseIfOpen(w.process);
    }

    // The outcome for the job of a worker whose result pipe ended early: an
    // exception's status (0xC0000005, ...) is a crash, else an exit.
    Outcome Reap(Worker& w)
    {
        CloseIfOpen(w.task);
        WaitForSingleObject(w.process, INFINITE);
        DWORD status = 0;
        bool known = GetExitCodeProcess(w.process, &status);
        CloseWorker(w);
        Outcome outcome;
        if (known && ((status & 0xC0000000u) == 0xC0000000u || status == 0x80000003u)) {
            outcome.kind = Outcome::kCrashed;
            outcome.code = static_cast<int32_t>(status);
        } else {
            outcome.kind = Outcome::kWorkerExited;
            outcome.code = known ? static_cast<int32_t>(status) : -1;
        }
        return outcome;
    }

    // An idle worker: closing its task pipe ends it.
    void Retire(Worker& w)
    {
        CloseIfOpen(w.task);
        CloseIfOpen(w.result);
        WaitForSingleObject(w.process, INFINITE);
        CloseWorker(w);
    }
};

}  // namespace

void TakeWorkerArguments(int* argc, char*** argv)
{
    if (*argc < 2 || strncmp((*argv)[1], kWorkerArgument, sizeof kWorkerArgument - 1) != 0)
        return;
    unsigned long task, result, stop, parent;
    if (sscanf((*argv)[1] + sizeof kWorkerArgument - 1, "%lu,%lu,%lu,%lu", &task, &result, &stop, &parent) != 4)
        return;
    g_side.active = true;
    g_side.task = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(task));
    g_side.result = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(result));
    g_side.stop = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(stop));
    g_side.parent = static_cast<DWORD>(parent);
    // In its place -q: a worker prints no progress line and no notices of
    // its own; everything else parses as the command's line did.
    static char quiet[] = "-q";
    (*argv)[1] = quiet;
}

std::string CrashName(int code)
{
    const char* name = nullptr;
    switch (static_cast<uint32_t>(code)) {
    case 0xC0000005u: name = "access violation"; break;
    case 0xC00000FDu: name = "stack overflow"; break;
    case 0xC0000409u: name = "stack buffer overrun"; break;
    case 0xC000001Du: name = "illegal instruction"; break;
    case 0xC0000094u: name = "integer division by zero"; break;
    case 0xC000013Au: name = "Ctrl-C"; break;
    case 0x80000003u: name = "breakpoint"; break;
    }
    char text[64];
    snprintf(text, sizeof text, "exception 0x%08X%s%s", static_cast<unsigned>(code), name ? ", " : "", name ? name : "");
    return text;
}

std::vector<Outcome> RunInWorkers(const PoolJobs& jobs, unsigned workers, const PoolEvents& events)
{
    if (g_side.active)
        WorkerMain(jobs);
    if (jobs.count == 0)
        return std::vector<Outcome>();
    return Pool(jobs, events).Run(workers);
}
