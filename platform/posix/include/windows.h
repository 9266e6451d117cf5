// Stand-in for the parts of <windows.h> that Quorvan uses, on POSIX systems.
// Types have the widths they have on 32-bit Windows.
#ifndef QUORVAN_POSIX_WINDOWS_H
#define QUORVAN_POSIX_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCTSTR;
typedef char* LPTSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// Calling conventions only mean something on 32-bit Windows.
#define CDECL
#define WINAPI

#ifdef __cplusplus
extern "C" {
#endif

// ---- Dynamic loading ---------------------------------------------------
// A module named "NAME.dll" is the shared object "libNAME.so". A name without
// a folder is looked for in the host program's own folder, then by the system
// loader (LD_LIBRARY_PATH, the run path of the object that holds the loader,
// its cache, the system folders), then in that object's folder and the
// quorvan/ folder beside it, then in the current directory.
typedef struct HINSTANCE__* HMODULE;
typedef HMODULE HINSTANCE;
typedef intptr_t(WINAPI* FARPROC)(void);

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
// With a null module, looks only in the host program itself.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// Stand-in only: the system's own words for why the last LoadLibraryA or
// GetProcAddress of this thread failed, naming the file at fault, e.g.
// "libmasd32.so: libsoxr.so.0: cannot open shared object file: No such file
// or directory"; "" after a success. (On Windows, GetLastError and
// FormatMessageA tell the same.) A file that is not a complete shared object
// for this process (truncated, another machine, not ELF) fails to load with
// such a reason instead of being handed to the system loader.
LPCSTR WINAPI QvLoaderError(void);
// Stand-in only: LoadLibraryA searches beside the object that holds `code`
// (and in its module folder) instead of beside the one it is linked into, for
// a program that links the loader to repeat a library's search.
void WINAPI QvLoaderSearchBeside(const void* code);

// ---- Synchronisation -------------------------------------------------------
// Atomic exchanges of a 32-bit word, with a full barrier, and a pause of the
// calling thread.
LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand);
LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);
void WINAPI Sleep(DWORD dwMilliseconds);

// ---- Files: identity -----------------------------------------------------
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION;

// Only what identifying an existing file needs: dwDesiredAccess 0 or
// GENERIC_READ, OPEN_EXISTING; sharing and attributes are accepted and ignored.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          void* lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpInfo);
BOOL WINAPI CloseHandle(HANDLE hObject);

// ---- Temporary files -----------------------------------------------------
// The temporary directory: TMPDIR when set, else /tmp, always ending in '/'.
// Returns its length, or when the buffer is too small (or null) the size
// needed, terminator included.
DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
// Forms lpPathName + '/' + at most three prefix characters + hexadecimal
// number + ".TMP" in lpTempFileName, which must hold strlen(lpPathName) + 17
// characters. With uUnique 0 a free number (1..FFFF) is searched for and the
// file is created empty and exclusively; returns the number, or 0 on failure
// (with an empty name). With any other uUnique only the name is formed.
UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                             LPSTR lpTempFileName);
// Test hook of the stand-in: searches start at number `first` instead of
// anywhere (0 restores that).
void QvTestTempFileNumbersFrom(UINT first);

// ---- C runtime path functions (MSVCRT's <stdlib.h>) -----------------------
#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256
// Splits path into drive ("X:" when the path starts with a letter and a
// colon), directory (up to and including the last '/' or '\\'), base name and
// extension (from the last dot of the final component, dot included). Any
// output may be null. Here no part is ever longer than the path itself, so
// buffers of strlen(path) + 1 always suffice (the _MAX_ sizes above are the
// Windows runtime's limits, not this one's).
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
// Joins the parts; null or empty parts are left out. Writes drive[0] and ':',
// the directory followed by a separator when it lacks one, the name, then a
// dot when ext lacks one and ext. Needs strlen of all four parts + 5.
void _makepath(char* path, const char* drive, const char* dir, const char* fname,
               const char* ext);

#ifdef __cplusplus
}
#endif

#endif
