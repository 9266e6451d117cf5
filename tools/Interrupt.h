// Stop requests to the command itself (Ctrl-C, termination, hang-up). One
// implementation per platform.
#ifndef QUORVAN_TOOLS_INTERRUPT_H
#define QUORVAN_TOOLS_INTERRUPT_H

#include <string>

// From now on a stop request is recorded instead of ending the process (and
// on Linux a write to a closed pipe fails with EPIPE instead of SIGPIPE).
void CatchStopRequests();

// The first stop request's signal number, 0 while there was none. Requests
// that are no signals (a console's Ctrl-Break or close) get the number of the
// signal that means the most alike.
int StopRequest();

// A stop request that comes from inside, as if that signal had come: the run
// ends as it does for a signal. kStopOutputClosed: the reader of the standard
// output went away (the number of SIGPIPE, which POSIX tools die of then).
const int kStopOutputClosed = 13;
void RequestStop(int request);

// The exit status for a run ended by that request: 128 + its number.
int StopExitStatus(int request);

// The request in words for a message: "signal 2, Interrupt", "the standard
// output was closed".
std::string StopRequestName(int request);

#endif
