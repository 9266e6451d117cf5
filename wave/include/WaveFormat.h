// The one format of every WAV file Quorvan writes (44100 Hz, 2 channels,
// 16-bit PCM) and the size of what it writes: the header, a block of samples,
// a second of audio.
#ifndef QUORVAN_WAVE_WAVEFORMAT_H
#define QUORVAN_WAVE_WAVEFORMAT_H

#include <stdint.h>

const uint16_t kWaveFormatPcm = 1;
const uint32_t kWaveRate = 44100;
const uint16_t kWaveChannels = 2;
const uint16_t kWaveBitsPerSample = 16;
const uint16_t kWaveBlockAlign = kWaveChannels * kWaveBitsPerSample / 8;  // one frame: 4 bytes
const uint32_t kWaveBytesPerSecond = kWaveRate * kWaveBlockAlign;         // 176,400
// PCM's format chunk is the first 16 bytes of the format record (no cbSize).
const uint32_t kWaveFormatBytes = 16;
// "RIFF" size "WAVE", "fmt " size and the format, "data" size.
const uint32_t kWaveHeaderBytes = 12 + 8 + kWaveFormatBytes + 8;  // 44

// The bytes of channels x samples 16-bit samples.
inline uint64_t WavePcmBytes(uint64_t channels, uint64_t samples)
{
    return kWaveBitsPerSample / 8 * channels * samples;
}

// Seconds of audio in that many bytes of the data chunk.
inline double WaveSeconds(uint64_t dataBytes)
{
    return static_cast<double>(dataBytes) / kWaveBytesPerSecond;
}

#endif
