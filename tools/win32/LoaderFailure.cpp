// The library loads its modules with LoadLibraryA and GetProcAddress
// themselves: the reason is GetLastError's, in the system's words, with the
// module (and entry point) it was about.
#include "ModuleDiagnosis.h"

#include <windows.h>

#include "SystemErrors.h"

std::string LoaderFailure(const char* module, const char* entryPoint)
{
    std::string why = SystemErrorText(static_cast<int>(GetLastError()));
    // The system's words may name the file as "%1".
    for (size_t at; (at = why.find("%1")) != std::string::npos;)
        why.replace(at, 2, module);
    return std::string(module) + ": " + (entryPoint ? std::string(entryPoint) + ": " : std::string()) + why;
}

void SearchModulesAsTheLibrary()
{
    // LoadLibraryA searches the same folders for every caller of a process.
}
