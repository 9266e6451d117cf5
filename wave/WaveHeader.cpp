// Reading a WAV file's header and setting its sizes.
#include "WaveHeader.h"

#include <string.h>

#include "WaveFormat.h"

namespace {

uint16_t Get16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Get32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put32(unsigned char* p, uint64_t value)
{
    uint32_t v = value > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void ReadFormat(const unsigned char* p, uint32_t bytes, WaveHeader* header)
{
    header->formatBytes = bytes;
    header->formatTag = Get16(p);
    header->channels = Get16(p + 2);
    header->rate = Get32(p + 4);
    header->bytesPerSecond = Get32(p + 8);
    header->blockAlign = Get16(p + 12);
    header->bitsPerSample = Get16(p + 14);
}

}  // namespace

bool WaveHeader::IsOurFormat() const
{
    return formatBytes == kWaveFormatBytes && formatTag == kWaveFormatPcm && channels == kWaveChannels &&
           rate == kWaveRate && bytesPerSecond == kWaveBytesPerSecond && blockAlign == kWaveBlockAlign &&
           bitsPerSample == kWaveBitsPerSample;
}

WaveHeaderRead ReadWaveHeader(const unsigned char* h, size_t size, WaveHeader* header)
{
    *header = WaveHeader();
    if (size < 12)
        return kWaveHeaderIncomplete;
    if (memcmp(h, "RIFF", 4) != 0 || memcmp(h + 8, "WAVE", 4) != 0)
        return kWaveHeaderForeign;
    header->riffSize = Get32(h + 4);
    size_t at = 12;
    while (at + 8 <= size) {
        uint32_t chunk = Get32(h + at + 4);
        if (memcmp(h + at, "data", 4) == 0) {
            header->dataSizeAt = at + 4;
            header->dataStart = at + 8;
            header->dataSize = chunk;
            return kWaveHeaderFound;
        }
        if (memcmp(h + at, "fmt ", 4) == 0 && chunk >= 16 && at + 8 + 16 <= size)
            ReadFormat(h + at + 8, chunk, header);
        at += 8 + static_cast<size_t>(chunk) + (chunk & 1);  // chunks are padded to an even size
        if (at >= kWaveHeaderLimit)
            return kWaveHeaderForeign;
    }
    return kWaveHeaderIncomplete;
}

void SetWaveSizes(unsigned char* bytes, const WaveHeader& header, uint64_t fileBytes)
{
    Put32(bytes + 4, fileBytes - 8);
    Put32(bytes + header.dataSizeAt, fileBytes - header.dataStart);
}
