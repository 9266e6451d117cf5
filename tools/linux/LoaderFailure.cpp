// The POSIX stand-in of LoadLibraryA keeps the system loader's words, which
// name the module's file (libma32.so) or the missing symbol.
#include "ModuleDiagnosis.h"

#include <windows.h>

#include "Quorvan.h"

std::string LoaderFailure(const char*, const char*)
{
    return QvLoaderError();
}

void SearchModulesAsTheLibrary()
{
    // The library's own code: its folder is the one its loader searches.
    QvLoaderSearchBeside(reinterpret_cast<const void*>(&DecodeMpegToWav));
}
