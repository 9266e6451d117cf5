// Starting a worker process on Windows.
#include "win32/WorkerStart.h"

#include <stdint.h>
#include <stdio.h>

#include "SystemErrors.h"
#include "win32/Handles.h"

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

namespace {

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

}  // namespace

bool WorkerEnds::Make(std::string* error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    bool made = CreatePipe(&taskRead, &taskWrite, &inherit, 0) &&
                CreatePipe(&resultRead, &resultWrite, &inherit, 0) &&
                (stop = CreateEventA(&inherit, TRUE, FALSE, nullptr)) != nullptr &&
                SetHandleInformation(taskWrite, HANDLE_FLAG_INHERIT, 0) &&
                SetHandleInformation(resultRead, HANDLE_FLAG_INHERIT, 0);
    if (!made) {
        *error = SystemErrorText(static_cast<int>(GetLastError()));
        CloseWorkers();
        CloseParents();
    }
    return made;
}

void WorkerEnds::CloseWorkers()
{
    CloseIfOpen(taskRead);
    CloseIfOpen(resultWrite);
}

void WorkerEnds::CloseParents()
{
    CloseIfOpen(taskWrite);
    CloseIfOpen(resultRead);
    CloseIfOpen(stop);
}

// This program's file, quoted, with the worker's private first argument
// naming its inherited handles, then the command's own arguments.
bool WorkerCommandLine(const WorkerEnds& ends, std::string* commandLine, std::string* error)
{
    char program[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        *error = "the program's own file cannot be found: " + SystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    char handles[96];
    snprintf(handles, sizeof handles, "%s%lu,%lu,%lu,%lu", kWorkerArgument,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(ends.taskRead)),
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(ends.resultWrite)),
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(ends.stop)),
             static_cast<unsigned long>(GetCurrentProcessId()));
    *commandLine = "\"" + std::string(program, length) + "\" " + handles + OwnArguments();
    return true;
}

// Starts the worker suspended, with the command's standard handles. Its own
// process group: Ctrl-C in the console is the command's to handle, not the
// worker's.
bool StartSuspended(std::string commandLine, PROCESS_INFORMATION* started, std::string* error)
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
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED,
                       nullptr, nullptr, &startup, started))
        return true;
    *error = SystemErrorText(static_cast<int>(GetLastError()));
    return false;
}
