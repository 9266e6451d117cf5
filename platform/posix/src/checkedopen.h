// Opening a module with the system loader, once its file has been checked.
#ifndef QUORVAN_PLATFORM_POSIX_CHECKEDOPEN_H
#define QUORVAN_PLATFORM_POSIX_CHECKEDOPEN_H

#include <string>

// dlopen(name, RTLD_NOW | RTLD_LOCAL) after the checks of elfcheck.h, for a
// path or a bare name. A bare name is checked in the first folder of the
// system loader's search (searchpath.h) that holds a matching file. The file
// can still change between the check and dlopen; only a file that is damaged
// when checked is refused. On failure returns null and records the reason
// for QvLoaderError() (loadererror.h).
void* OpenCheckedSharedObject(const std::string& name);

#endif
