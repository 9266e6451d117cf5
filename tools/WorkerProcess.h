// The worker process's side of its life: it ends with the command, and a file
// it leaves unfinished goes with it. One implementation per platform.
#ifndef QUORVAN_TOOLS_WORKERPROCESS_H
#define QUORVAN_TOOLS_WORKERPROCESS_H

#include <string>

// In a new worker, first thing: it ends when the command ends, however the
// command ends; a stop of the command (a signal, or on Windows the command's
// word) removes the unfinished file and ends the worker; a file-size limit
// makes writes fail instead of killing it. parentId is the command's process
// id.
void PrepareWorkerProcess(long parentId);

// The file the running conversion is writing and that this run made; removed
// if the worker is stopped before it is finished. Empty: none.
void SetUnfinishedFile(const std::string& path);

// While held, a stop is put off (the outcome of a finished file is being
// reported); released, a stop that came meanwhile takes effect.
void HoldStop(bool hold);

#endif
