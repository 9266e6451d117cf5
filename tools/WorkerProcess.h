// A worker process: this program started again in worker mode, with a task
// pipe from the command and a result pipe back. Both sides of it, one
// implementation per platform (tools/linux/, tools/win32/); WorkerPool.cpp
// and Worker.cpp hold everything else, the same everywhere.
#ifndef QUORVAN_TOOLS_WORKERPROCESS_H
#define QUORVAN_TOOLS_WORKERPROCESS_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "Outcome.h"

// A pipe's end: a file descriptor, or a HANDLE on Windows.
typedef intptr_t PipeEnd;

// Whole writes and reads on a pipe's end; false on an error or, reading, on
// the end of the pipe before size bytes came.
bool WriteAll(PipeEnd end, const void* data, size_t size);
bool ReadAll(PipeEnd end, void* data, size_t size);

// --- In the command ---

// One running worker as the command sees it.
struct WorkerProcess {
    long id = 0;            // its process id
    intptr_t process = 0;   // Windows: its process handle
    intptr_t stop = 0;      // Windows: the event that stops it
    PipeEnd tasks = -1;     // the command writes tasks here
    PipeEnd results = -1;   // and reads outcomes here
};

// Starts this program as a worker (the option --worker-of, naming its pipes
// and the command, is its whole command line), with the command's standard
// streams and environment. It ends when the command ends, however that ends.
bool StartWorker(WorkerProcess* worker, std::string* error);

// Waits at most `milliseconds` until some of these workers have an outcome
// waiting, or their result pipe has ended; their positions in `workers`.
std::vector<size_t> WaitForWorkers(const std::vector<const WorkerProcess*>& workers, int milliseconds);

// Asks it to stop: it removes the file it was writing and ends.
void StopWorker(WorkerProcess* worker);

// Closes the command's pipe ends and waits for it to end; with `kill` it is
// ended first if it has not ended yet. How it ended: Outcome::kCrashed (a
// signal, an exception) or Outcome::kWorkerExited with its exit status.
Outcome ReapWorker(WorkerProcess* worker, bool kill);

// How a worker died, in words for a message: "signal 11, Segmentation fault"
// for an Outcome::kCrashed code.
std::string CrashName(int code);

// --- In the worker ---

// First thing in worker mode: the pipes named by --worker-of's value, and
// the worker's own setting (it ends when the command ends, however the
// command ends; a stop removes the unfinished file and ends the worker; a
// file-size limit makes writes fail instead of killing it). False: the value
// names no command.
bool AttachToCommand(const std::string& value, PipeEnd* tasks, PipeEnd* results);

// The file the running conversion is writing and that this run made; removed
// if the worker is stopped before it is finished. Empty: none.
void SetUnfinishedFile(const std::string& path);

// While held, a stop is put off (the outcome of a finished file is being
// reported); released, a stop that came meanwhile takes effect.
void HoldStop(bool hold);

#endif
