// Between the Windows worker pool and the worker's side of its life: the
// event by which the parent stops a worker.
#ifndef QUORVAN_TOOLS_WIN32_WORKERSTOP_H
#define QUORVAN_TOOLS_WIN32_WORKERSTOP_H

#include <windows.h>

// Before PrepareWorkerProcess: the parent sets this event to stop the worker.
void SetWorkerStopEvent(HANDLE stop);

// The exit status of a worker that a stop ended.
const UINT kStoppedWorkerStatus = 143;

#endif
