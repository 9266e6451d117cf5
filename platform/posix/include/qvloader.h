// How the library loads its decoder modules on POSIX systems: the stand-in's
// LoadLibraryA already searches beside the library (see <windows.h>, which
// also declares QvLoaderSearchBeside).
#ifndef QUORVAN_POSIX_QVLOADER_H
#define QUORVAN_POSIX_QVLOADER_H

#include <windows.h>

inline HMODULE QvLoadModule(LPCSTR name)
{
    return LoadLibraryA(name);
}

#endif
