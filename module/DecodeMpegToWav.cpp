// The library's one exported function.
#include "MpegToWavConverter.h"
#include "Quorvan.h"

extern "C" int DecodeMpegToWav(const CString& inputPath, CString& outputPath)
{
    CMpegToWavConverter converter(inputPath, outputPath);
    int result = converter.Convert();
    // The caller's string changes only when the library chose the name.
    if (result == QV_OK && outputPath.IsEmpty())
        outputPath = converter.GetOutputPath();
    return result;
}
