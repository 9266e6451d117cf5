// A worker on Windows ends with the command: the command's job object ends
// it when the command goes, and a thread of its own watches the command's
// process and the stop event the command sets. Either way the worker tries to
// remove its unfinished file and ends at once; the file is still open in the
// library then, so the command removes it as well once the worker is gone.
// Console events (Ctrl-C, Ctrl-Break) are the command's to handle.
#include "WorkerProcess.h"

#include <windows.h>

#include "win32/WorkerStop.h"

namespace {

CRITICAL_SECTION g_hold;
std::string g_unfinished;  // guarded by g_hold
HANDLE g_stop = nullptr;
HANDLE g_parent = nullptr;

BOOL WINAPI IgnoreConsoleEvents(DWORD)
{
    return TRUE;
}

DWORD WINAPI Watch(void*)
{
    HANDLE waits[2] = {g_parent, g_stop};
    DWORD count = 0;
    for (HANDLE h : waits)
        if (h)
            waits[count++] = h;
    if (count == 0)
        return 0;
    WaitForMultipleObjects(count, waits, FALSE, INFINITE);
    EnterCriticalSection(&g_hold);  // an outcome being reported goes out whole first
    if (!g_unfinished.empty())
        DeleteFileA(g_unfinished.c_str());
    TerminateProcess(GetCurrentProcess(), kStoppedWorkerStatus);
    return 0;
}

struct HoldInit {
    HoldInit() { InitializeCriticalSection(&g_hold); }
} g_holdInit;

}  // namespace

void SetWorkerStopEvent(HANDLE stop)
{
    g_stop = stop;
}

void PrepareWorkerProcess(long parentId)
{
    // A crash, or a module that is no image, ends or fails the worker at
    // once, without a dialog that would keep it (and the run) waiting.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetConsoleCtrlHandler(IgnoreConsoleEvents, TRUE);
    g_parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(parentId));
    if (!g_parent)
        TerminateProcess(GetCurrentProcess(), kStoppedWorkerStatus);  // the command is gone already
    HANDLE thread = CreateThread(nullptr, 64 * 1024, Watch, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
}

void SetUnfinishedFile(const std::string& path)
{
    EnterCriticalSection(&g_hold);
    g_unfinished = path;
    LeaveCriticalSection(&g_hold);
}

void HoldStop(bool hold)
{
    if (hold)
        EnterCriticalSection(&g_hold);
    else
        LeaveCriticalSection(&g_hold);
}
