// What the C runtime's start-up objects would bring to a Visual C++-ABI
// program or DLL, for the test programs built here against msvcrt.dll alone:
// the type_info vftable that RTTI records point at (wine's msvcrt.dll does not
// export it), the /GS cookie and its check, the floating-point marker, the
// terminate hook of noexcept functions, and the run of the static
// initializers (.CRT$XCU).
#include <stdlib.h>
#include <windows.h>

#include "VcRuntime.h"

extern "C" {

// Only its address matters: catch clauses compare type names, not vftables.
extern const void* const qv_type_info_vftable[2] = {0, 0};
#pragma comment(linker, "/alternatename:??_7type_info@@6B@=_qv_type_info_vftable")

unsigned int __security_cookie = 0xBB40E64Eu;

void __fastcall __security_check_cookie(unsigned int cookie)
{
    // An overwritten return address: stop at once, as the runtime does.
    if (cookie != __security_cookie)
        TerminateProcess(GetCurrentProcess(), 0xC0000409u);
}

int _fltused = 0x9875;

// An exception leaving a noexcept function (a destructor, say).
void __cdecl __std_terminate()
{
    abort();
}

}  // extern "C"

typedef void(__cdecl* Initializer)(void);
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
__declspec(allocate(".CRT$XCA")) static const Initializer kFirst[1] = {0};
__declspec(allocate(".CRT$XCZ")) static const Initializer kLast[1] = {0};

void QvRunStaticInitializers()
{
    for (const Initializer* p = kFirst; p < kLast; ++p)
        if (*p)
            (*p)();
}
