// A look at a shared object before the system loader maps it. The system
// loader trusts a file's headers: a truncated object, whose segments run past
// the end of the file, is mapped anyway and kills the process with SIGBUS when
// the loader touches the missing pages. These checks turn such a file into a
// failed load with a reason.
#ifndef QUORVAN_PLATFORM_POSIX_ELFCHECK_H
#define QUORVAN_PLATFORM_POSIX_ELFCHECK_H

#include <string>

// Why the file at path is not a complete shared object that this process can
// load ("<path>: not a loadable shared object: ..."), or "" when it is one:
// an ELF shared object of this process's class, byte order and machine whose
// header tables and every segment lie within the file.
std::string SharedObjectProblem(const std::string& path);

// True when path is an ELF file of this process's class, byte order and
// machine: the files the system loader's search stops at (it skips others).
bool IsElfForThisProcess(const std::string& path);

#endif
