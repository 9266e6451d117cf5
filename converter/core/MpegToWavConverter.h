// CMpegToWavConverter: one conversion of one MPEG audio file into one WAV
// file. Built on the stack of DecodeMpegToWav for the length of the call.
#ifndef QUORVAN_CONVERTER_MPEGTOWAVCONVERTER_H
#define QUORVAN_CONVERTER_MPEGTOWAVCONVERTER_H

#include <afx.h>
#include <mmsystem.h>
#include <stdint.h>
#include <stdio.h>

#include "DecoderApi.h"
#include "ResultCodes.h"
#include "WaveFormat.h"

// The run's input stream. Module-wide because the decoder's read callback has
// no context argument; set by OpenInput, cleared by CloseInput. Only one
// conversion may be in progress in a process at a time.
extern FILE* g_pInputFile;

// The decoder's read callback: reads from g_pInputFile.
int CDECL ReadInputCallback(void* buffer, uint32_t* length);

// Bytes a block occupies with 16-bit samples, computed without overflow.
uint64_t PcmBlockBytes(const PcmBlock& block);

class CMpegToWavConverter {
public:
    // The largest data chunk that keeps the RIFF size and every file offset
    // within 32 bits, in whole sample frames.
    static const DWORD kMaxDataBytes = (0xffffffffu - kWaveHeaderBytes) / kWaveBlockAlign * kWaveBlockAlign;

    CMpegToWavConverter(const CString& inputPath, const CString& outputPath);
    virtual ~CMpegToWavConverter();

    int Convert();

    int OpenInput();
    int CloseInput();

    int ChooseOutputPath();

    int CreateWaveFile();
    int WriteBlock(const void* samples, const PcmBlock& block);
    int CloseWaveFile();

    CString GetOutputPath() const;

    // Lowers the data-size limit (for exercising the limit without writing
    // gigabytes).
    void SetDataLimit(DWORD cbMax) { m_cbDataLimit = cbMax; }

private:
    struct Run;
    int Decode(Run& run);
    void Teardown(Run& run, int* pCloseWaveResult);

    WAVEFORMATEX m_format;
    HMMIO m_hmmio;
    MMCKINFO m_ckRiff;
    MMCKINFO m_ckSub;
    CString m_strInput;
    CString m_strOutput;
    DWORD m_cbData;       // sample bytes in the data chunk so far
    DWORD m_cbDataLimit;  // the most sample bytes the data chunk may hold

    CMpegToWavConverter(const CMpegToWavConverter&) = delete;
    CMpegToWavConverter& operator=(const CMpegToWavConverter&) = delete;
};

#endif
