// Where the system loader looks for a bare name.
#ifndef QUORVAN_PLATFORM_POSIX_SEARCHPATH_H
#define QUORVAN_PLATFORM_POSIX_SEARCHPATH_H

#include <string>
#include <vector>

// The folders the system loader searches for a bare name on behalf of the
// object that holds this code, in its order, as dlinfo reports them:
// LD_LIBRARY_PATH, the object's run path and the system folders (the
// loader's cache is not among them). Empty when they cannot be told.
std::vector<std::string> LoaderSearchFolders();

#endif
