#include "FrameHeader.h"

#include <algorithm>

namespace quorvan {

namespace {

// kbps by [MPEG-1 ? 0 : 1][layer - 1][index].
const int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}}};

const int kMpeg1Rates[3] = {44100, 48000, 32000};

int VersionOf(unsigned bits)
{
    return bits == 3 ? 1 : bits == 2 ? 2 : bits == 0 ? 25 : -1;
}

long RateOf(int version, unsigned index)
{
    if (index == 3 || version < 0)
        return 0;
    return kMpeg1Rates[index] / (version == 1 ? 1 : version == 2 ? 2 : 4);
}

int ModeClass(int mode)
{
    return mode == 1 ? 0 : mode;  // joint stereo is stereo
}

}  // namespace

FrameKind FrameKind::Of(uint32_t header)
{
    FrameKind k;
    k.sync = (header & 0xFFE00000u) == 0xFFE00000u;
    k.version = VersionOf((header >> 19) & 3);
    k.layer = 4 - static_cast<int>((header >> 17) & 3);
    k.crc = ((header >> 16) & 1) == 0;
    k.freeFormat = ((header >> 12) & 15) == 0;
    k.sampleRate = RateOf(k.version, (header >> 10) & 3);
    k.mode = static_cast<int>((header >> 6) & 3);
    k.channels = k.mode == 3 ? 1 : 2;
    k.copyright = ((header >> 3) & 1) != 0;
    k.original = ((header >> 2) & 1) != 0;
    k.emphasis = static_cast<int>(header & 3);
    return k;
}

bool FrameKind::SameLayerAndRate(const FrameKind& o) const
{
    return sync == o.sync && version == o.version && layer == o.layer && sampleRate == o.sampleRate;
}

bool FrameKind::SameAcrossJunk(const FrameKind& o) const
{
    return SameLayerAndRate(o) && crc == o.crc && (channels == 1) == (o.channels == 1);
}

bool FrameKind::SameFreeFormatRun(const FrameKind& o) const
{
    return SameLayerAndRate(o) && crc == o.crc && freeFormat == o.freeFormat && mode == o.mode &&
           copyright == o.copyright && original == o.original && emphasis == o.emphasis;
}

bool FrameKind::SameChain(const FrameKind& o) const
{
    return version == o.version && layer == o.layer && sampleRate == o.sampleRate && channels == o.channels &&
           ModeClass(mode) == ModeClass(o.mode) && crc == o.crc && copyright == o.copyright &&
           original == o.original && emphasis == o.emphasis && freeFormat == o.freeFormat;
}

bool FrameKind::Unlikely() const
{
    return layer == 1 || freeFormat || emphasis != 0 || (version == 25 && layer != 3);
}

bool FrameKind::Plain() const
{
    return version == 1 && layer != 1 && !freeFormat && emphasis == 0;
}

bool ParseFrameHeader(uint32_t header, FrameHeader* out)
{
    if ((header & 0xFFE00000u) != 0xFFE00000u)
        return false;
    unsigned versionBits = (header >> 19) & 3;
    unsigned layerBits = (header >> 17) & 3;
    unsigned bitrateIndex = (header >> 12) & 15;
    unsigned rateIndex = (header >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3)
        return false;
    FrameHeader h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.layer = 4 - static_cast<int>(layerBits);
    h.protectedByCrc = ((header >> 16) & 1) == 0;
    h.bitrateKbps = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrateIndex];
    h.sampleRate = kMpeg1Rates[rateIndex] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
    h.padded = ((header >> 9) & 1) != 0;
    h.privateBit = ((header >> 8) & 1) != 0;
    h.mode = static_cast<int>((header >> 6) & 3);
    h.modeExtension = static_cast<int>((header >> 4) & 3);
    h.copyright = ((header >> 3) & 1) != 0;
    h.original = ((header >> 2) & 1) != 0;
    h.emphasis = static_cast<int>(header & 3);
    if (out)
        *out = h;
    return true;
}

uint32_t FrameBytes(const FrameHeader& h)
{
    if (h.bitrateKbps <= 0 || h.sampleRate <= 0)
        return 0;
    uint32_t bps = static_cast<uint32_t>(h.bitrateKbps) * 1000u;
    uint32_t rate = static_cast<uint32_t>(h.sampleRate);
    uint32_t pad = h.padded ? 1u : 0u;
    if (h.layer == 1)
        return (12u * bps / rate + pad) * 4u;
    // Layer III at the lower rates carries half the samples per frame.
    uint32_t factor = (h.layer == 3 && h.version != 1) ? 72u : 144u;
    return factor * bps / rate + pad;
}

size_t Id3v2TagAt(const unsigned char* p)
{
    if (p[0] != 'I' || p[1] != 'D' || p[2] != '3' || p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    size_t body = 0;
    for (int i = 6; i < 10; ++i) {
        if (p[i] & 0x80)
            return 0;
        body = (body << 7) | p[i];
    }
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

bool FindsFreeFormatFrames(const unsigned char* data, size_t size, size_t scanEnd)
{
    auto headerAt = [data](size_t i) { return HeaderAt(data + i); };
    // Where the next header like the one at i starts, 0 when none follows.
    auto next = [&](size_t i) -> size_t {
        FrameKind kind = FrameKind::Of(headerAt(i));
        size_t end = size - 3;
        for (size_t j = NextSyncByte(data, i + 4, end); j < end; j = NextSyncByte(data, j + 1, end)) {
            FrameKind other = FrameKind::Of(headerAt(j));
            if (!other.SameLayerAndRate(kind))
                continue;
            return other.SameFreeFormatRun(kind) ? j : 0;
        }
        return 0;
    };
    FrameHeader h;
    size_t last = std::min(scanEnd, size >= 4 ? size - 3 : 0);  // headers may start before it
    for (size_t i = NextSyncByte(data, 0, last); i < last; i = NextSyncByte(data, i + 1, last)) {
        if ((data[i + 1] & 0xE0) != 0xE0 || (data[i + 2] & 0xF0) != 0)
            continue;
        if (!ParseFrameHeader(headerAt(i), &h))
            continue;
        // Three headers, two frames of one length give or take the padding.
        size_t j = next(i), k = j ? next(j) : 0;
        if (k && k - j + 1 >= j - i && k - j <= j - i + 1)
            return true;
    }
    return false;
}

}  // namespace quorvan
