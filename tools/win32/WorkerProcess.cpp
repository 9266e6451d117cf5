// Worker processes on Windows: CreateProcess of this program's own file with
// the worker's pipe ends and its stop event inherited (the command's ends are
// not, so no worker holds another's), in the command's job object, which ends
// every worker when the command goes. Outcomes are looked for with
// PeekNamedPipe, since anonymous pipes cannot be waited on. In the worker a
// thread of its own watches the command's process and the stop event: either
// way the worker removes its unfinished file and ends at once (the file is
// still open in the library then, so the command removes it as well once the
// worker is gone). Console events (Ctrl-C, Ctrl-Break) are the command's.
#include "WorkerProcess.h"

#include <stdio.h>

#include <windows.h>

#include <chrono>

#include "SystemErrors.h"
#include "win32/Handles.h"

namespace {

// The exit status of a worker that a stop ended.
const UINT kStoppedWorkerStatus = 143;

HANDLE AsHandle(intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

void Close(intptr_t* value)
{
    HANDLE h = AsHandle(*value);
    CloseIfOpen(h);
    *value = 0;
}

// The command's job object: its workers end when it closes, that is when the
// command ends, however it ends. Null if it cannot be made.
HANDLE WorkerJob()
{
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (j && !SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(j);
            j = nullptr;
        }
        return j;
    }();
    return job;
}

// "PROGRAM" --worker-of=TASK,RESULT,STOP,COMMAND: the worker's inherited
// handles and the command's process id.
bool CommandLine(HANDLE task, HANDLE result, HANDLE stop, std::string* line, std::string* error)
{
    char program[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        *error = "the program's own file cannot be found: " + SystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    char option[96];
    snprintf(option, sizeof option, " --worker-of=%lu,%lu,%lu,%lu", HandleToUlong(task), HandleToUlong(result),
             HandleToUlong(stop), static_cast<unsigned long>(GetCurrentProcessId()));
    *line = "\"" + std::string(program, length) + "\"" + option;
    return true;
}

// Suspended until it is in the job; with the command's standard handles; in a
// process group of its own (Ctrl-C in the console is the command's).
bool Create(std::string line, PROCESS_INFORMATION* started, std::string* error)
{
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
    *started = PROCESS_INFORMATION();
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED,
                       nullptr, nullptr, &startup, started))
        return true;
    *error = SystemErrorText(static_cast<int>(GetLastError()));
    return false;
}

// Results waiting in the pipe, or a pipe whose worker is gone.
bool Readable(HANDLE h)
{
    DWORD available = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr))
        return true;  // broken: the read says so
    return available > 0;
}

// The worker's side.
CRITICAL_SECTION g_hold;
std::string g_unfinished;  // guarded by g_hold
HANDLE g_watched[2];       // the command's process, the stop event

struct HoldInit {
    HoldInit() { InitializeCriticalSection(&g_hold); }
} g_holdInit;

BOOL WINAPI IgnoreConsoleEvents(DWORD)
{
    return TRUE;
}

DWORD WINAPI Watch(void*)
{
    WaitForMultipleObjects(2, g_watched, FALSE, INFINITE);
    EnterCriticalSection(&g_hold);  // an outcome being reported goes out whole first
    if (!g_unfinished.empty())
        DeleteFileA(g_unfinished.c_str());
    TerminateProcess(GetCurrentProcess(), kStoppedWorkerStatus);
    return 0;
}

}  // namespace

bool WriteAll(PipeEnd end, const void* data, size_t size)
{
    return WriteAll(AsHandle(end), data, size);
}

bool ReadAll(PipeEnd end, void* data, size_t size)
{
    return ReadAll(AsHandle(end), data, size);
}

bool StartWorker(WorkerProcess* worker, std::string* error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE taskRead = nullptr, taskWrite = nullptr, resultRead = nullptr, resultWrite = nullptr, stop = nullptr;
    std::string line;
    PROCESS_INFORMATION started;
    bool made = CreatePipe(&taskRead, &taskWrite, &inherit, 0) && CreatePipe(&resultRead, &resultWrite, &inherit, 0) &&
                (stop = CreateEventA(&inherit, TRUE, FALSE, nullptr)) != nullptr &&
                SetHandleInformation(taskWrite, HANDLE_FLAG_INHERIT, 0) &&
                SetHandleInformation(resultRead, HANDLE_FLAG_INHERIT, 0);
    if (!made)
        *error = SystemErrorText(static_cast<int>(GetLastError()));
    bool ok = made && CommandLine(taskRead, resultWrite, stop, &line, error) && Create(line, &started, error);
    CloseIfOpen(taskRead);  // the worker has its own copies
    CloseIfOpen(resultWrite);
    if (!ok) {
        for (HANDLE* h : {&taskWrite, &resultRead, &stop})
            CloseIfOpen(*h);
        return false;
    }
    SetHandleInformation(stop, HANDLE_FLAG_INHERIT, 0);  // no later worker holds it
    if (HANDLE job = WorkerJob())
        AssignProcessToJobObject(job, started.hProcess);  // else it still watches the command itself
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    worker->id = static_cast<long>(started.dwProcessId);
    worker->process = reinterpret_cast<intptr_t>(started.hProcess);
    worker->stop = reinterpret_cast<intptr_t>(stop);
    worker->tasks = reinterpret_cast<intptr_t>(taskWrite);
    worker->results = reinterpret_cast<intptr_t>(resultRead);
    return true;
}

std::vector<size_t> WaitForWorkers(const std::vector<const WorkerProcess*>& workers, int milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        std::vector<size_t> ready;
        for (size_t k = 0; k < workers.size(); ++k)
            if (Readable(AsHandle(workers[k]->results)))
                ready.push_back(k);
        if (!ready.empty() || std::chrono::steady_clock::now() >= deadline)
            return ready;
        Sleep(5);
    }
}

void StopWorker(WorkerProcess* worker)
{
    SetEvent(AsHandle(worker->stop));
    Close(&worker->tasks);
}

// An exception's status (0xC0000005, ...) is a crash, else an exit.
Outcome ReapWorker(WorkerProcess* worker, bool kill)
{
    Close(&worker->tasks);
    Close(&worker->results);
    HANDLE process = AsHandle(worker->process);
    if (kill && WaitForSingleObject(process, 0) != WAIT_OBJECT_0)
        TerminateProcess(process, kStoppedWorkerStatus);  // did not stop in time
    WaitForSingleObject(process, INFINITE);
    DWORD status = 0;
    bool known = GetExitCodeProcess(process, &status);
    Close(&worker->process);
    Close(&worker->stop);
    Outcome outcome;
    outcome.kind = known && ((status & 0xC0000000u) == 0xC0000000u || status == 0x80000003u) ? Outcome::kCrashed
                                                                                              : Outcome::kWorkerExited;
    outcome.code = known ? static_cast<int32_t>(status) : -1;
    return outcome;
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

bool AttachToCommand(const std::string& value, PipeEnd* tasks, PipeEnd* results)
{
    unsigned long task, result, stop, parent;
    if (sscanf(value.c_str(), "%lu,%lu,%lu,%lu", &task, &result, &stop, &parent) != 4)
        return false;
    *tasks = reinterpret_cast<intptr_t>(ULongToHandle(task));
    *results = reinterpret_cast<intptr_t>(ULongToHandle(result));
    // A crash, or a module that is no image, ends or fails the worker at
    // once, without a dialog that would keep it (and the run) waiting.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetConsoleCtrlHandler(IgnoreConsoleEvents, TRUE);
    g_watched[0] = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(parent));
    g_watched[1] = ULongToHandle(stop);
    if (!g_watched[0])
        TerminateProcess(GetCurrentProcess(), kStoppedWorkerStatus);  // the command is gone already
    HANDLE thread = CreateThread(nullptr, 64 * 1024, Watch, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    return true;
}

void SetUnfinishedFile(const std::string& path)
{
    EnterCriticalSection(&g_hold);
    g_unfinished = path;
    LeaveCriticalSection(&g_hold);
}

void HoldStop(bool hold)
{
    if (hold)
        EnterCriticalSection(&g_hold);
    else
        LeaveCriticalSection(&g_hold);
}
