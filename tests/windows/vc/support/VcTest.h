// What the Visual C++-ABI test programs share: one line per check, the run's
// exit code, a string's header, child processes with their output, and whole
// files.
#ifndef QUORVAN_VC_VCTEST_H
#define QUORVAN_VC_VCTEST_H

#include <afx.h>
#include <windows.h>

// The header of a string's buffer, read as a host may read it.
inline const CStringData* HeaderOf(const CString& s)
{
    return reinterpret_cast<const CStringData*>(static_cast<LPCTSTR>(s)) - 1;
}

// Prints "ok: WHAT" or "FAILED: WHAT" and counts the failures.
bool Check(bool ok, const char* format, ...);
// Prints the summary; the program's exit code (1 after any failure).
int FinishChecks();

// A child process, run to its end: its exit code and the start of what it
// wrote on stdout and stderr.
struct ChildRun {
    bool started;
    DWORD exitCode;
    char output[1024];
};
ChildRun RunChild(const char* commandLine, const char* cwd);

// The full path of the running program.
void OwnPath(char* path, DWORD size);

// A file's bytes (malloc'ed, freed with free), or null when it cannot be read.
unsigned char* ReadWholeFile(const char* path, long* size);
bool SameFileContents(const char* a, const char* b);

#endif
