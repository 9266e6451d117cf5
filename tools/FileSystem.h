// What the command asks of the file system and of the processes it runs,
// beyond the library: one implementation per platform (tools/posix/,
// tools/win32/).
#ifndef QUORVAN_TOOLS_FILESYSTEM_H
#define QUORVAN_TOOLS_FILESYSTEM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

// A file's identity, whatever name it is reached by.
struct FileId {
    uint64_t device = 0, node = 0;
    bool valid = false;
    bool operator==(const FileId& o) const { return valid && o.valid && device == o.device && node == o.node; }
};

enum class PathKind { kMissing, kFile, kFolder, kOther };

// What is at path, without following a final link (a link is kOther unless
// it leads somewhere; then it is what it leads to, with that file's id).
PathKind Inspect(const std::string& path, FileId* id);

// The identity of the file path leads to; invalid when there is none.
FileId IdentityOf(const std::string& path);

// Creates path as a new empty file, never opening one that exists. On
// failure returns false with the system's reason in *error; *exists says
// whether it failed because the name is taken.
bool CreateNewFile(const std::string& path, FileId* id, bool* exists, std::string* error);

// Removes path if it is still the file with that identity.
void RemoveIfSame(const std::string& path, const FileId& id);

// The temporary folder (TMPDIR, else the system's), with a final separator.
std::string TemporaryFolder();

// The folder holding path, with links and "." and ".." resolved; empty when
// it cannot be resolved.
std::string ResolvedFolderOf(const std::string& path);

// A folder of the system's own devices and processes, where no WAV file is
// ever derived.
bool IsSystemFolder(const std::string& resolvedFolder);

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

// Moves a stream opened for reading to a position that may lie past 2 GiB.
bool SeekFile(FILE* file, uint64_t position);

// Gives back the disk space of the bytes of path from `from` to `to`, whole
// blocks within that range, keeping the file's size; those bytes then read
// as zeros. Where the system cannot, nothing happens.
void ReleaseFileSpace(const std::string& path, uint64_t from, uint64_t to);

// The size of the file, 0 when unknown.
uint64_t FileSize(const std::string& path);

// How far process pid has read in the file with that identity; false when it
// cannot be told.
bool ReadPosition(long pid, const FileId& file, uint64_t* position);

// The width of the terminal that standard error shows on; 0 when it is none.
size_t StandardErrorTerminalWidth();

// The number of cores this process may run on (at least 1).
unsigned UsableCores();

// Opens whichever of the standard streams is closed on the null device, so
// that no file or pipe the command opens takes their place.
void OpenStandardStreams();

// The system's words for the last failure (errno, GetLastError), and for a
// given code; ClearSystemError forgets an earlier one.
int LastSystemError();
void ClearSystemError();
std::string SystemErrorText(int code);

// Why path cannot be opened for reading, in the system's words; empty when
// it can.
std::string OpenForReadingProblem(const std::string& path);

// The system's words for error if it is one that a failed write gives (a
// full disk, a file-size limit); empty for any other, which is no reason for
// a write that failed.
std::string WriteFailureText(int error);

#endif
