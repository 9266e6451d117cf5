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
#include <deque>

#include "WorkerProcess.h"
#include "win32/Handles.h"
#include "win32/WorkerStop.h"

namespace {

const size_t kNoJob = static_cast<size_t>(-1);
const char kWorkerArgument[] = "--quorvan-worker=";

// What a worker was started with; active only in a worker.
struct WorkerSide {
    bool active = false;
    HANDLE task = nullptr, result = nullptr, stop = nullptr;
    DWORD parent = 0;
} g_side;

// An outcome on the wire: this header, then the output path and the detail.
struct WireHeader {
    int32_t kind;
    int32_t code;
    uint64_t audioBytes;
    uint32_t outputLength;
    uint32_t detailLength;
};

bool SendTask(HANDLE h, uint64_t job, const std::string& argument)
{
    uint32_t length = static_cast<uint32_t>(argument.size());
    return WriteAll(h, &job, sizeof job) && WriteAll(h, &length, sizeof length) &&
           WriteAll(h, argument.data(), argument.size());
}

bool ReceiveTask(HANDLE h, uint64_t* job, std::string* argument)
{
    uint32_t length;
    if (!ReadAll(h, job, sizeof *job) || !ReadAll(h, &length, sizeof length))
        return false;
    argument->resize(length);
    return ReadAll(h, &(*argument)[0], length);
}

bool SendOutcome(HANDLE h, const Outcome& o)
{
    WireHeader w = {o.kind, o.code, o.audioBytes, static_cast<uint32_t>(o.output.size()),
                    static_cast<uint32_t>(o.detail.size())};
    return WriteAll(h, &w, sizeof w) && WriteAll(h, o.output.data(), o.output.size()) &&
           WriteAll(h, o.detail.data(), o.detail.size());
}

bool ReceiveOutcome(HANDLE h, Outcome* o)
{
    WireHeader w;
    if (!ReadAll(h, &w, sizeof w))
        return false;
    o->kind = static_cast<Outcome::Kind>(w.kind);
    o->code = w.code;
    o->audioBytes = w.audioBytes;
    o->output.resize(w.outputLength);
    o->detail.resize(w.detailLength);
    return ReadAll(h, &o->output[0], w.outputLength) && ReadAll(h, &o->detail[0], w.detailLength);
}

// The worker's life: take a job, run it, report; until the task pipe closes.
[[noreturn]] void WorkerMain(const PoolJobs& jobs)
{
    SetWorkerStopEvent(g_side.stop);
    PrepareWorkerProcess(static_cast<long>(g_side.parent));
    uint64_t job;
    std::string argument;
    while (ReceiveTask(g_side.task, &job, &argument)) {
        Outcome outcome = job < jobs.count ? jobs.run(static_cast<size_t>(job), argument) : Outcome();
        HoldStop(true);
        fflush(stdout);
        fflush(stderr);
        bool sent = SendOutcome(g_side.result, outcome);
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

// The command's job object: its workers end when it closes, that is when
// the command ends, however it ends.
HANDLE WorkerJob()
{
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectA(nullptr, nullptr);
        if (j) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (!SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
                CloseHandle(j);
                j = nullptr;
            }
        }
        return j;
    }();
    return job;
}

// The command line after the program's name, as this process got it.
std::string OwnArguments()
{
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    return p;
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

class Pool {
public:
    Pool(const PoolJobs& jobs, const PoolEvents& events)
        : jobs_(jobs), events_(events), outcomes_(jobs.count), arguments_(jobs.count), prepared_(jobs.count, false)
    {
        for (size_t i = 0; i < jobs.count; ++i)
            pending_.push_back(i);
    }

    std::vector<Outcome> Run(unsigned maxWorkers)
    {
        if (maxWorkers < 1)
            maxWorkers = 1;
        if (maxWorkers > jobs_.count)
            maxWorkers = static_cast<unsigned>(jobs_.count);
        std::string startError;
        for (unsigned i = 0; i < maxWorkers; ++i)
            if (!Spawn(&startError))
                break;
        if (workers_.empty())
            FailPending(startError);

        while (finished_ < jobs_.count) {
            int stop = events_.stopRequested ? events_.stopRequested() : 0;
            if (stop != 0) {
                Stop(stop);
                break;
            }
            Dispatch();
            if (Busy() == 0) {
                if (workers_.empty()) {
                    if (replacements_++ > jobs_.count)
                        FailPending("worker processes keep ending unexpectedly");
                    else if (!Spawn(&startError))
                        FailPending(startError);
                }
                continue;
            }
            Wait();
        }
        for (Worker& w : workers_)
            Retire(w);
        workers_.clear();
        return outcomes_;
    }

private:
    static std::string LastError()
    {
        char text[256];
        DWORD code = GetLastError();
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                 sizeof text, nullptr);
        while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
            --n;
        return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
    }

    bool Spawn(std::string* error)
    {
        char program[MAX_PATH + 1];
        DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
        if (length == 0 || length >= sizeof program) {
            *error = "the program's own file cannot be found: " + LastError();
            return false;
        }
        // The worker's ends are inherited; the parent's are not, so that no
        // other worker holds them (a pipe ends only when every end is closed).
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE taskRead = nullptr, taskWrite = nullptr, resultRead = nullptr, resultWrite = nullptr, stop = nullptr;
        bool made = CreatePipe(&taskRead, &taskWrite, &inherit, 0) &&
                    CreatePipe(&resultRead, &resultWrite, &inherit, 0) &&
                    (stop = CreateEventA(&inherit, TRUE, FALSE, nullptr)) != nullptr &&
                    SetHandleInformation(taskWrite, HANDLE_FLAG_INHERIT, 0) &&
                    SetHandleInformation(resultRead, HANDLE_FLAG_INHERIT, 0);
        if (!made) {
            *error = LastError();
            for (HANDLE* h : {&taskRead, &taskWrite, &resultRead, &resultWrite, &stop})
                CloseIfOpen(*h);
            return false;
        }
        char handles[96];
        snprintf(handles, sizeof handles, "%s%lu,%lu,%lu,%lu", kWorkerArgument,
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(taskRead)),
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(resultWrite)),
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(stop)),
                 static_cast<unsigned long>(GetCurrentProcessId()));
        std::string commandLine = "\"" + std::string(program, length) + "\" " + handles + OwnArguments();

        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        HANDLE* standard[3] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
        const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (int k = 0; k < 3; ++k) {
            *standard[k] = GetStdHandle(which[k]);
            if (*standard[k] && *standard[k] != INVALID_HANDLE_VALUE)
                SetHandleInformation(*standard[k], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        fflush(stdout);
        fflush(stderr);
        PROCESS_INFORMATION started = {};
        // Its own process group: Ctrl-C in the console is the command's to
        // handle, not the worker's. Suspended until it is in the job.
        BOOL ok = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                 CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
        std::string why = ok ? std::string() : LastError();
        CloseIfOpen(taskRead);
        CloseIfOpen(resultWrite);
        if (!ok) {
            *error = why;
            CloseIfOpen(taskWrite);
            CloseIfOpen(resultRead);
            CloseIfOpen(stop);
            return false;
        }
        SetHandleInformation(stop, HANDLE_FLAG_INHERIT, 0);
        if (HANDLE job = WorkerJob())
            AssignProcessToJobObject(job, started.hProcess);  // else it still watches the command itself
        ResumeThread(started.hThread);
        CloseHandle(started.hThread);
        Worker w;
        w.process = started.hProcess;
        w.pid = started.dwProcessId;
        w.task = taskWrite;
        w.result = resultRead;
        w.stop = stop;
        workers_.push_back(w);
        return true;
    }

    size_t Busy() const
    {
        size_t n = 0;
        for (const Worker& w : workers_)
            n += w.job != kNoJob;
        return n;
    }

    bool KeyInUse(size_t job) const
    {
        if (jobs_.exclusiveKeys.size() <= job || jobs_.exclusiveKeys[job].empty())
            return false;
        for (const Worker& w : workers_)
            if (w.job != kNoJob && jobs_.exclusiveKeys[w.job] == jobs_.exclusiveKeys[job])
                return true;
        return false;
    }

    // Hands the first pending job that may run now to each idle worker.
    void Dispatch()
    {
        for (size_t wi = 0; wi < workers_.size(); ++wi) {
            Worker& w = workers_[wi];
            if (w.job != kNoJob || w.dead)
                continue;
            auto it = pending_.begin();
            while (it != pending_.end() && KeyInUse(*it))
                ++it;
            if (it == pending_.end())
                break;
            size_t job = *it;
            pending_.erase(it);
            Outcome refused;
            if (jobs_.prepare && !prepared_[job]) {
                if (!jobs_.prepare(job, &arguments_[job], &refused)) {
                    Finish(job, refused);
                    --wi;
                    continue;
                }
                prepared_[job] = true;
            }
            if (SendTask(w.task, job, arguments_[job])) {
                w.job = job;
                if (events_.started)
                    events_.started(job, static_cast<long>(w.pid));
            } else {
                pending_.push_front(job);
                w.dead = true;
            }
        }
        for (size_t wi = workers_.size(); wi-- > 0;) {
            if (!workers_[wi].dead)
                continue;
            Retire(workers_[wi]);
            workers_.erase(workers_.begin() + static_cast<long>(wi));
            Replace();
        }
    }

    void Replace()
    {
        if (pending_.empty())
            return;
        std::string error;
        if (++replacements_ > jobs_.count) {
            if (workers_.empty())
                FailPending("worker processes keep ending unexpectedly");
            return;
        }
        if (!Spawn(&error) && workers_.empty())
            FailPending(error);
    }

    // The busy workers whose result pipe has something (or broke), waiting
    // at most timeoutMs for one.
    std::vector<size_t> ReadyWorkers(int timeoutMs)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::vector<size_t> ready;
            for (size_t wi = 0; wi < workers_.size(); ++wi)
                if (workers_[wi].job != kNoJob && workers_[wi].result && Readable(workers_[wi].result))
                    ready.push_back(wi);
            if (!ready.empty() || std::chrono::steady_clock::now() >= deadline)
                return ready;
            Sleep(5);
        }
    }

    void Wait()
    {
        std::vector<size_t> ready = ReadyWorkers(events_.tick ? events_.tickMilliseconds : 250);
        if (events_.tick)
            events_.tick();
        if (ready.empty())
            return;
        if (events_.stopRequested && events_.stopRequested() != 0)
            return;  // the stop reports these
        std::vector<size_t> lost;
        for (size_t wi : ready) {
            Worker& w = workers_[wi];
            Outcome outcome;
            size_t job = w.job;
            if (ReceiveOutcome(w.result, &outcome)) {
                w.job = kNoJob;
                Finish(job, outcome);
            } else {
                lost.push_back(wi);
            }
        }
        for (size_t k = lost.size(); k-- > 0;) {
            Worker w = workers_[lost[k]];
            workers_.erase(workers_.begin() + static_cast<long>(lost[k]));
            Finish(w.job, Reap(w));
            Replace();
        }
    }

    // Every worker is told to stop (removing the file it was writing) and
    // waited for; outcomes already on their way still count, every other
    // job is reported as interrupted.
    void Stop(int request)
    {
        for (Worker& w : workers_) {
            SetEvent(w.stop);
            CloseIfOpen(w.task);
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            bool waiting = false;
            for (const Worker& w : workers_)
                waiting = waiting || (w.job != kNoJob && w.result);
            if (!waiting || left.count() <= 0)
                break;
            for (size_t wi : ReadyWorkers(static_cast<int>(left.count()))) {
                Worker& w = workers_[wi];
                Outcome outcome;
                if (ReceiveOutcome(w.result, &outcome)) {
                    size_t job = w.job;
                    w.job = kNoJob;
                    Finish(job, outcome);
                }
                CloseIfOpen(w.result);
            }
        }
        Outcome interrupted;
        interrupted.kind = Outcome::kInterrupted;
        interrupted.code = request;
        for (Worker& w : workers_) {
            if (WaitForSingleObject(w.process, 0) != WAIT_OBJECT_0)
                TerminateProcess(w.process, kStoppedWorkerStatus);  // did not stop in time
            WaitForSingleObject(w.process, INFINITE);
            CloseWorker(w);
            if (w.job != kNoJob)
                Finish(w.job, interrupted);
        }
        workers_.clear();
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Finish(job, interrupted);
        }
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

    void FailPending(const std::string& why)
    {
        while (!pending_.empty()) {
            size_t job = pending_.front();
            pending_.pop_front();
            Outcome outcome;
            outcome.kind = Outcome::kNoWorker;
            outcome.detail = why;
            Finish(job, outcome);
        }
    }

    void Finish(size_t job, const Outcome& outcome)
    {
        outcomes_[job] = outcome;
        ++finished_;
        if (events_.finished)
            events_.finished(job, outcome);
    }

    const PoolJobs& jobs_;
    const PoolEvents& events_;
    std::vector<Outcome> outcomes_;
    std::vector<std::string> arguments_;
    std::vector<bool> prepared_;
    std::deque<size_t> pending_;
    std::vector<Worker> workers_;
    size_t finished_ = 0;
    size_t replacements_ = 0;
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
