// The library loads its modules (beside itself first, then by Windows'
// search) and resolves them with GetProcAddress: the reason is GetLastError's,
// in the system's words, with the module (and entry point) it was about.
#include "ModuleDiagnosis.h"

#include <qvloader.h>
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
    // The library looks beside itself first: the folder of the Quorvan.dll
    // this program runs with, found through its export.
    HMODULE library = GetModuleHandleA("Quorvan.dll");
    FARPROC entry = library ? GetProcAddress(library, "DecodeMpegToWav") : nullptr;
    if (entry)
        QvLoaderSearchBeside(reinterpret_cast<const void*>(entry));
}
