// The input stream of a run and the decoder's read callback.
#include "MpegToWavConverter.h"

FILE* g_pInputFile = nullptr;

int CMpegToWavConverter::OpenInput()
{
    g_pInputFile = fopen(m_strInput, "rb");
    if (!g_pInputFile)
        return QV_ERR_OPEN_INPUT;
    // Some systems open a folder as a stream that fails on the first read;
    // that is an input that cannot be read, not an empty one.
    int first = fgetc(g_pInputFile);
    if (first == EOF ? ferror(g_pInputFile) != 0 : ungetc(first, g_pInputFile) == EOF) {
        fclose(g_pInputFile);
        g_pInputFile = nullptr;
        return QV_ERR_OPEN_INPUT;
    }
    return QV_OK;
}

int CMpegToWavConverter::CloseInput()
{
    FILE* file = g_pInputFile;
    g_pInputFile = nullptr;
    if (!file)
        return QV_OK;
    return fclose(file) == 0 ? QV_OK : QV_ERR_CLOSE_INPUT;
}

int CDECL ReadInputCallback(void* buffer, uint32_t* length)
{
    if (!length)
        return DECODER_READ_SHORT;
    uint32_t wanted = *length;
    size_t got = 0;
    // A decoder calling after the run closed the input gets end of file.
    if (g_pInputFile && buffer && wanted > 0)
        got = fread(buffer, 1, wanted, g_pInputFile);
    *length = static_cast<uint32_t>(got);
    return got == wanted ? DECODER_OK : DECODER_READ_SHORT;
}
