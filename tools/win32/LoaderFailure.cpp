// The library loads its modules with LoadLibraryA and GetProcAddress
// themselves: the reason is GetLastError's, in the system's words, with the
// module (and entry point) it was about.
#include "ModuleDiagnosis.h"

#include <windows.h>

std::string LoaderFailure(const char* module, const char* entryPoint)
{
    DWORD error = GetLastError();
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    std::string why = n > 0 ? std::string(text, n) : "error " + std::to_string(error);
    // The system's words may name the file as "%1".
    for (size_t at; (at = why.find("%1")) != std::string::npos;)
        why.replace(at, 2, module);
    return std::string(module) + ": " + (entryPoint ? std::string(entryPoint) + ": " : std::string()) + why;
}
