// The C runtime's string functions as msvcrt.dll exports them, for the Visual
// C++-ABI test programs built without a Windows SDK.
#ifndef QUORVAN_VC_STRING_H
#define QUORVAN_VC_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t __cdecl strlen(const char* s);
int __cdecl strcmp(const char* a, const char* b);
int __cdecl strncmp(const char* a, const char* b, size_t n);
char* __cdecl strcpy(char* to, const char* from);
char* __cdecl strncpy(char* to, const char* from, size_t n);
char* __cdecl strcat(char* to, const char* from);
char* __cdecl strchr(const char* s, int c);
char* __cdecl strrchr(const char* s, int c);
char* __cdecl strstr(const char* s, const char* sub);
int __cdecl memcmp(const void* a, const void* b, size_t n);
void* __cdecl memcpy(void* to, const void* from, size_t n);
void* __cdecl memchr(const void* s, int c, size_t n);
void* __cdecl memmove(void* to, const void* from, size_t n);
void* __cdecl memset(void* to, int c, size_t n);

#ifdef __cplusplus
}
#endif

#endif
