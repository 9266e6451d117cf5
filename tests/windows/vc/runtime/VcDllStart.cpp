// The entry point of a Visual C++-ABI DLL linked against msvcrt.dll alone:
// the static initializers when it is loaded, then the DLL's own DllMain.
// A DLL built this way must not give static objects destructors.
#include <windows.h>

#include "VcRuntime.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        QvRunStaticInitializers();
    return DllMain(instance, reason, reserved);
}
