// The C runtime's stdio as msvcrt.dll exports it, for the Visual C++-ABI test
// programs built without a Windows SDK: only what they use.
#ifndef QUORVAN_VC_STDIO_H
#define QUORVAN_VC_STDIO_H

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _iobuf {
    char* _ptr;
    int _cnt;
    char* _base;
    int _flag;
    int _file;
    int _charbuf;
    int _bufsiz;
    char* _tmpfname;
} FILE;

__declspec(dllimport) FILE* __cdecl __iob_func(void);
#define stdout (&__iob_func()[1])
#define stderr (&__iob_func()[2])
#define EOF (-1)
#define SEEK_SET 0
#define SEEK_END 2

__declspec(dllimport) int __cdecl printf(const char* format, ...);
__declspec(dllimport) int __cdecl fprintf(FILE* stream, const char* format, ...);
__declspec(dllimport) int __cdecl vfprintf(FILE* stream, const char* format, va_list args);
__declspec(dllimport) int __cdecl sprintf(char* buffer, const char* format, ...);
__declspec(dllimport) int __cdecl _snprintf(char* buffer, size_t count, const char* format, ...);
__declspec(dllimport) int __cdecl _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
__declspec(dllimport) int __cdecl fputs(const char* s, FILE* stream);
__declspec(dllimport) int __cdecl fflush(FILE* stream);
__declspec(dllimport) FILE* __cdecl fopen(const char* name, const char* mode);
__declspec(dllimport) size_t __cdecl fread(void* buffer, size_t size, size_t count, FILE* stream);
__declspec(dllimport) size_t __cdecl fwrite(const void* buffer, size_t size, size_t count, FILE* stream);
__declspec(dllimport) int __cdecl fseek(FILE* stream, long offset, int origin);
__declspec(dllimport) long __cdecl ftell(FILE* stream);
__declspec(dllimport) int __cdecl fclose(FILE* stream);

#ifdef __cplusplus
}
#endif

#endif
