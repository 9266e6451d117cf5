// The system's codes and words for a failure (tools/linux/, tools/win32/).
#ifndef QUORVAN_TOOLS_SYSTEMERRORS_H
#define QUORVAN_TOOLS_SYSTEMERRORS_H

#include <string>

// The system's words for the last failure (errno, GetLastError), and for a
// given code; ClearSystemError forgets an earlier one.
int LastSystemError();
void ClearSystemError();
std::string SystemErrorText(int code);

// The system's words for error if it is one that a failed write gives (a
// full disk, a file-size limit); empty for any other, which is no reason for
// a write that failed.
std::string WriteFailureText(int error);

#endif
