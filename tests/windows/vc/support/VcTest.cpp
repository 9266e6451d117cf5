#include "VcTest.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int g_checks, g_failures;

}  // namespace

bool Check(bool ok, const char* format, ...)
{
    ++g_checks;
    if (!ok)
        ++g_failures;
    fputs(ok ? "ok: " : "FAILED: ", stdout);
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fputs("\n", stdout);
    fflush(stdout);
    return ok;
}

int FinishChecks()
{
    printf("%d checks, %d failed\n", g_checks, g_failures);
    fflush(stdout);
    return g_failures == 0 && g_checks > 0 ? 0 : 1;
}

ChildRun RunChild(const char* commandLine, const char* cwd)
{
    ChildRun run;
    memset(&run, 0, sizeof run);
    run.exitCode = 0xFFFFFFFFu;
    char outPath[MAX_PATH];
    DWORD n = GetTempPathA(sizeof outPath - 40, outPath);
    if (n == 0 || n >= sizeof outPath - 40)
        return run;
    sprintf(outPath + n, "vctest-output-%lu.txt", GetCurrentProcessId());
    SECURITY_ATTRIBUTES sa = {sizeof sa, 0, TRUE};
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (out == INVALID_HANDLE_VALUE)
        return run;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = 0;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi;
    char command[2 * MAX_PATH];
    _snprintf(command, sizeof command, "%s", commandLine);
    command[sizeof command - 1] = 0;
    run.started = CreateProcessA(0, command, 0, 0, TRUE, 0, 0, cwd, &si, &pi) != 0;
    CloseHandle(out);
    if (run.started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        long size = 0;
        if (unsigned char* text = ReadWholeFile(outPath, &size)) {
            if (size >= static_cast<long>(sizeof run.output))
                size = sizeof run.output - 1;
            memcpy(run.output, text, size);
            run.output[size] = 0;
            free(text);
        }
    }
    DeleteFileA(outPath);
    return run;
}

void OwnPath(char* path, DWORD size)
{
    DWORD n = GetModuleFileNameA(0, path, size);
    if (n == 0 || n >= size)
        path[0] = 0;
}

unsigned char* ReadWholeFile(const char* path, long* size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return 0;
    unsigned char* data = 0;
    if (fseek(f, 0, SEEK_END) == 0) {
        long n = ftell(f);
        if (n >= 0 && fseek(f, 0, SEEK_SET) == 0) {
            data = static_cast<unsigned char*>(malloc(n + 1));
            if (data && fread(data, 1, n, f) != static_cast<size_t>(n)) {
                free(data);
                data = 0;
            }
            *size = n;
        }
    }
    fclose(f);
    return data;
}

bool SameFileContents(const char* a, const char* b)
{
    long na = 0, nb = 0;
    unsigned char* da = ReadWholeFile(a, &na);
    unsigned char* db = ReadWholeFile(b, &nb);
    bool same = da && db && na == nb && memcmp(da, db, na) == 0;
    free(da);
    free(db);
    return same;
}
