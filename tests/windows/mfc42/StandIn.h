// The inside of the stand-in MFC42.DLL: its private allocator for string
// buffers, the checks that every member makes of the buffers it is handed,
// the shared empty string, and the fault report.
#ifndef QUORVAN_MFC42_STANDIN_H
#define QUORVAN_MFC42_STANDIN_H

#include <afx.h>

namespace standin {

// The exit code of a process in which a fault was found.
const unsigned kFaultExitCode = 86;

// Prints "MFC42 stand-in: WHAT (in MEMBER)" on stderr and ends the process
// with kFaultExitCode.
__declspec(noreturn) void Fault(const char* member, const char* format, ...);

// The shared empty string: nRefs -1, no characters.
char* EmptyData();
// Ends the process when anyone wrote the shared empty string.
void CheckEmptyString(const char* member);

// A buffer for nLength characters (and the NUL), nRefs 1, nDataLength
// nLength. nLength > 0. Out of memory, real or switched on by
// FailAllocationsAfter, throws the CMemoryException* of
// AfxThrowMemoryException.
CStringData* AllocateBuffer(int nLength);
// Frees a buffer of AllocateBuffer whose count dropped to zero.
void FreeBuffer(CStringData* data);
// Ends the process unless pchData is the empty string or a live buffer of
// AllocateBuffer whose header is as it was left: its nAllocLength unchanged,
// a count of 1 or more, a length within the buffer, nothing written past
// its end. ROLE names the string in the report ("string", "source").
void CheckBuffer(const char* pchData, const char* role, const char* member);

// The test controls (see DllMain.cpp).
// After n more allocations succeed, the next one fails, and so does every
// one after it unless onlyOne; n < 0 switches failing off.
void FailAllocationsAfter(int n, bool onlyOne);
int Allocations();
int LiveBuffers();
int Faults();

void StartUp();
void InitExceptions();

}  // namespace standin

#endif
