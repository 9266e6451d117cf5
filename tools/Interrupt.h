// Stop requests to the command itself (Ctrl-C, termination, hang-up). One
// implementation per platform.
#ifndef QUORVAN_TOOLS_INTERRUPT_H
#define QUORVAN_TOOLS_INTERRUPT_H

// From now on a stop request is recorded instead of ending the process.
void CatchStopRequests();

// The first stop request's signal number, 0 while there was none.
int StopRequest();

// The exit status for a run ended by that request: 128 + its number.
int StopExitStatus(int request);

// While held, stop requests wait; released, they are delivered. Held across
// the start of a worker so that it never runs the command's own handling.
void HoldStopRequests(bool hold);

#endif
