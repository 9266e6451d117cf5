// The entry point of a Visual C++-ABI console program linked against
// msvcrt.dll alone: the arguments from msvcrt, the static initializers, main,
// and exit (which runs atexit handlers and flushes stdio).
#include <stdlib.h>

#include "VcRuntime.h"

extern "C" __declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards,
                                                          int* startupInfo);

int main(int argc, char** argv);

extern "C" void __cdecl mainCRTStartup()
{
    int argc = 0;
    char** argv = 0;
    char** env = 0;
    int newMode = 0;
    __getmainargs(&argc, &argv, &env, 0, &newMode);
    QvRunStaticInitializers();
    exit(main(argc, argv));
}
