// What the command and its workers say to each other over their pipes, the
// same on every system: a task, and the outcome that answers it. False: the
// pipe broke or ended.
#ifndef QUORVAN_TOOLS_WORKERWIRE_H
#define QUORVAN_TOOLS_WORKERWIRE_H

#include "Outcome.h"
#include "WorkerPool.h"
#include "WorkerProcess.h"

bool SendTask(PipeEnd end, const WorkerTask& task);
bool ReceiveTask(PipeEnd end, WorkerTask* task);
bool SendOutcome(PipeEnd end, const Outcome& outcome);
bool ReceiveOutcome(PipeEnd end, Outcome* outcome);

#endif
