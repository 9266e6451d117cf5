// The POSIX stand-in of LoadLibraryA keeps the system loader's words, which
// name the module's file (libma32.so) or the missing symbol.
#include "ModuleDiagnosis.h"

#include <windows.h>

std::string LoaderFailure(const char*, const char*)
{
    return QvLoaderError();
}
