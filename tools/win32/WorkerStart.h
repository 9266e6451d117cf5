// Starting a worker on Windows: the command's job object, the pipes and the
// stop event between the command and the worker, its command line and the
// suspended process. WorkerPool.cpp resumes it once it is in the job.
#ifndef QUORVAN_TOOLS_WIN32_WORKERSTART_H
#define QUORVAN_TOOLS_WIN32_WORKERSTART_H

#include <windows.h>

#include <string>

// The worker's private first argument, followed by its inherited handles.
inline constexpr char kWorkerArgument[] = "--quorvan-worker=";

// The command's job object: its workers end when it closes, that is when
// the command ends, however it ends. Null if it cannot be made.
HANDLE WorkerJob();

// The pipes and the stop event between the command and one new worker. The
// worker's ends are inherited; the parent's are not, so that no other worker
// holds them (a pipe ends only when every end is closed).
struct WorkerEnds {
    HANDLE taskRead = nullptr, taskWrite = nullptr, resultRead = nullptr, resultWrite = nullptr, stop = nullptr;

    bool Make(std::string* error);
    // The worker has its own copies once started (or never will).
    void CloseWorkers();
    void CloseParents();
};

// This program's file, quoted, with the worker's private first argument
// naming its inherited handles, then the command's own arguments.
bool WorkerCommandLine(const WorkerEnds& ends, std::string* commandLine, std::string* error);

// Starts the worker suspended, with the command's standard handles, in a
// process group of its own (Ctrl-C in the console is the command's).
bool StartSuspended(std::string commandLine, PROCESS_INFORMATION* started, std::string* error);

#endif
