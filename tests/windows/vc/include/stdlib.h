// The C runtime's stdlib as msvcrt.dll exports it, for the Visual C++-ABI
// test programs built without a Windows SDK.
#ifndef QUORVAN_VC_STDLIB_H
#define QUORVAN_VC_STDLIB_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) void* __cdecl malloc(size_t size);
__declspec(dllimport) void __cdecl free(void* p);
__declspec(dllimport) char* __cdecl getenv(const char* name);
__declspec(dllimport) int __cdecl atoi(const char* s);
__declspec(dllimport) long __cdecl strtol(const char* s, char** end, int base);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int status);
__declspec(dllimport) __declspec(noreturn) void __cdecl abort(void);

#ifdef __cplusplus
}
#endif

#endif
