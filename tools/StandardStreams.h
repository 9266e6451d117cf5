// The command's standard streams: the standard input as a file the library
// can open, the standard output that -o - writes to, the terminal of
// standard error (tools/linux/, tools/win32/).
#ifndef QUORVAN_TOOLS_STANDARDSTREAMS_H
#define QUORVAN_TOOLS_STANDARDSTREAMS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// The name by which the library can open the standard input; empty when the
// system has none (the input "-" is then refused).
std::string StandardInputName();

// The standard output, where -o - sends the WAV file as it is written.
// True when it is a regular file that the command may write anywhere in (not
// opened to append), with the offset where the WAV file starts in *start;
// false for a pipe, a terminal or a device.
bool StandardOutputSeekable(uint64_t* start);

// Writes some of data (at least one byte) to the standard output, or fails
// with the system's code in *error (EINTR when a stop request interrupted a
// write that was waiting for the reader).
bool WriteStandardOutput(const void* data, size_t size, size_t* written, int* error);

// Writes data at offset of a seekable standard output.
bool WriteStandardOutputAt(uint64_t offset, const void* data, size_t size, int* error);

// Whether a failed write's code means that the reader of the output is gone
// (a closed pipe), and whether it means it was only interrupted.
bool IsClosedOutputError(int error);
bool IsInterruptedError(int error);

// The width of the terminal that standard error shows on; 0 when it is none.
size_t StandardErrorTerminalWidth();

// Opens whichever of the standard streams is closed on the null device, so
// that no file or pipe the command opens takes their place.
void OpenStandardStreams();

#endif
