// The library's one exported function.
#include <new>

#include "MpegToWavConverter.h"
#include "Quorvan.h"

namespace {

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

extern "C" int DecodeMpegToWav(const CString& inputPath, CString& outputPath)
{
    int result = QV_OK;
    if (Decode(inputPath, outputPath, result))
        return result;
    // The framework's own exception, raised where no frame of the library
    // holds anything: the host catches it as it catches the framework's.
    AfxThrowMemoryException();
}
