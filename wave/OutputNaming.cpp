// Choosing the WAV file's name when the caller gave none.
#include "MpegToWavConverter.h"

int CMpegToWavConverter::ChooseOutputPath()
{
    return QV_OK;
}
