// call_timer: one DecodeMpegToWav call, timed inside the process that makes
// it, as a host calls the library. Prints the call's wall time in seconds
// and its result code:
//   call_timer LIBRARY INPUT OUTPUT      (Windows: LIBRARY is Quorvan.dll's path)
//   call_timer INPUT OUTPUT              (Linux: linked with libQuorvan.so)
// On Windows it is a Visual C++-ABI host (tests/windows/host/), built with
// clang-cl against MFC42.DLL's CString and run under wine by
// bench/decoders.sh; on Linux the same call, made the same way, is timed
// against the project's own CString. Loading the library is not timed, its
// decoder modules are (every call loads them).
#include <afx.h>
#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
#define QUORVAN_DYNAMIC_LOAD
#include "Quorvan.h"
#else
#include <time.h>

#include <quorvan/Quorvan.h>
#endif

namespace {

#ifdef _WIN32
double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}
#else
double Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
#endif

}  // namespace

int main(int argc, char* argv[])
{
#ifdef _WIN32
    if (argc != 4) {
        fprintf(stderr, "usage: call_timer LIBRARY INPUT OUTPUT\n");
        return 2;
    }
    HMODULE library = LoadLibraryExA(argv[1], NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL) {
        fprintf(stderr, "call_timer: %s cannot be loaded (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    PFNDECODEMPEGTOWAV decode = (PFNDECODEMPEGTOWAV)GetProcAddress(library, "DecodeMpegToWav");
    if (decode == NULL) {
        fprintf(stderr, "call_timer: %s has no DecodeMpegToWav\n", argv[1]);
        return 1;
    }
    const char* input = argv[2];
    const char* output = argv[3];
#else
    if (argc != 3) {
        fprintf(stderr, "usage: call_timer INPUT OUTPUT\n");
        return 2;
    }
    PFNDECODEMPEGTOWAV decode = &DecodeMpegToWav;
    const char* input = argv[1];
    const char* output = argv[2];
#endif
    int result = -1;
    double seconds = 0;
    {
        CString inputPath(input);
        CString outputPath(output);
        double start = Now();
        result = decode(inputPath, outputPath);
        seconds = Now() - start;
    }
#ifdef _WIN32
    FreeLibrary(library);
#endif
    printf("%.6f %d\n", seconds, result);
    return result == QV_OK ? 0 : 1;
}
