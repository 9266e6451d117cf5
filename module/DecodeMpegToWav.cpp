// The library's one exported function.
#include <windows.h>

#include <new>

#include "MpegToWavConverter.h"
#include "Quorvan.h"

namespace {

// One conversion at a time in the process: the run keeps its input in one
// global of the converter, and the decoder modules are loaded and released
// by each call. A second caller waits here until the first one is done.
//
// The lock is one word, taken with an interlocked exchange, on every Windows
// from XP on: nothing to set up when the library loads (it has no start-up
// work of its own) and nothing to release when it unloads. A call holds it
// for a whole conversion, so a waiter sleeps between its tries instead of
// spinning.
LONG volatile g_callRunning = 0;

class OneCallAtATime {
public:
    OneCallAtATime()
    {
        while (InterlockedCompareExchange(&g_callRunning, 1, 0) != 0)
            Sleep(1);
    }
    ~OneCallAtATime() { InterlockedExchange(&g_callRunning, 0); }
    OneCallAtATime(const OneCallAtATime&) = delete;
    OneCallAtATime& operator=(const OneCallAtATime&) = delete;
};

// The whole call; false when memory ran out on the way. By then the run has
// released what it held and every string of the call has been freed.
bool Decode(const CString& inputPath, CString& outputPath, int& result)
{
    try {
        CMpegToWavConverter converter(inputPath, outputPath);
        result = converter.Convert();
        // The caller's string changes only when the library chose the name.
        if (result == QV_OK && outputPath.IsEmpty())
            outputPath = converter.GetOutputPath();
        return true;
    } catch (CMemoryException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    return false;
}

}  // namespace

extern "C" int QUORVAN_CALL DecodeMpegToWav(const CString& inputPath, CString& outputPath)
{
    int result = QV_OK;
    bool decoded;
    {
        OneCallAtATime turn;
        decoded = Decode(inputPath, outputPath, result);
    }
    if (decoded)
        return result;
    // The framework's own exception, raised where no frame of the library
    // holds anything (the lock is released): the host catches it as it
    // catches the framework's.
    AfxThrowMemoryException();
}
