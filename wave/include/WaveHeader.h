// Reading a WAV file's header from its first bytes, and setting its sizes:
// for what reads a WAV file the library wrote (the command's stream relay and
// progress, the fuzzer's checks).
#ifndef QUORVAN_WAVE_WAVEHEADER_H
#define QUORVAN_WAVE_WAVEHEADER_H

#include <stddef.h>
#include <stdint.h>

// A header longer than this is no header of ours.
const size_t kWaveHeaderLimit = 4096;

struct WaveHeader {
    uint32_t riffSize = 0;
    size_t dataSizeAt = 0;  // where the data chunk's size is
    size_t dataStart = 0;   // where the data chunk's bytes begin
    uint32_t dataSize = 0;
    // The format chunk's fields, when it came before the data chunk.
    uint32_t formatBytes = 0;
    uint16_t formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    uint32_t rate = 0, bytesPerSecond = 0;

    // 44100 Hz, 2 channels, 16-bit PCM, in a 16-byte format chunk.
    bool IsOurFormat() const;
};

enum WaveHeaderRead {
    kWaveHeaderFound,       // up to the start of the data chunk
    kWaveHeaderIncomplete,  // more bytes are needed
    kWaveHeaderForeign      // not RIFF WAVE, or no data chunk in the first kWaveHeaderLimit bytes
};

// Reads the header in the first size bytes of a WAV file.
WaveHeaderRead ReadWaveHeader(const unsigned char* bytes, size_t size, WaveHeader* header);

// Writes the RIFF and data chunk sizes of a file of fileBytes bytes into the
// header read from it (a size past 32 bits is written as 0xffffffff, which
// also stands for "unknown").
void SetWaveSizes(unsigned char* bytes, const WaveHeader& header, uint64_t fileBytes);

#endif
