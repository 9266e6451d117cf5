// The files and folders the command looks at and makes beyond the library:
// one implementation per platform (tools/linux/, tools/win32/).
#ifndef QUORVAN_TOOLS_FILES_H
#define QUORVAN_TOOLS_FILES_H

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

// Moves a stream opened for reading to a position that may lie past 2 GiB.
bool SeekFile(FILE* file, uint64_t position);

// Gives back the disk space of the bytes of path from `from` to `to`, whole
// blocks within that range, keeping the file's size; those bytes then read
// as zeros. Where the system cannot, nothing happens.
void ReleaseFileSpace(const std::string& path, uint64_t from, uint64_t to);

// The size of the file, 0 when unknown.
uint64_t FileSize(const std::string& path);

// Why path cannot be opened for reading, in the system's words; empty when
// it can.
std::string OpenForReadingProblem(const std::string& path);

#endif
