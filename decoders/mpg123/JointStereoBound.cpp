#include "JointStereoBound.h"

#include "FrameHeader.h"

namespace quorvan {

namespace {

uint32_t BigEndian(const unsigned char* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// For a stereo MPEG-1 Layer II frame of a low bitrate, the number of subbands
// coded (8, or 12 at 32 kHz); 0 when there are enough for any bound.
int LowSubbandLimit(const FrameHeader& h, uint32_t header)
{
    unsigned bitrateIndex = (header >> 12) & 15;
    if (h.version != 1 || h.layer != 2 || bitrateIndex < 1 || bitrateIndex > 6)
        return 0;
    return h.sampleRate == 32000 ? 12 : 8;
}

}  // namespace

bool JointStereoBoundOverflows(uint32_t header)
{
    FrameHeader h;
    if (!ParseFrameHeader(header, &h) || h.mode != 1)
        return false;
    int limit = LowSubbandLimit(h, header);
    return limit != 0 && (h.modeExtension + 1) * 4 > limit;
}

void JointStereoBoundFixer::Fix(unsigned char* data, size_t size, size_t scanEnd, bool final)
{
    for (size_t i = 0; i < scanEnd && i + 4 <= size; ++i) {
        if (data[i] != 0xFF || (data[i + 1] & 0xE0) != 0xE0)
            continue;
        uint32_t header = BigEndian(data + i);
        FrameHeader h;
        if (!ParseFrameHeader(header, &h))
            continue;
        size_t length = FrameBytes(h);
        bool chained = false;
        if (length > 0 && i + length + 4 <= size) {
            const unsigned char* n = data + i + length;
            // Sync, version, layer and rate agree, or a tag follows.
            chained = (BigEndian(n) & 0xFFFE0C00u) == (header & 0xFFFE0C00u) ||
                      (n[0] == 'T' && n[1] == 'A' && n[2] == 'G') ||
                      (n[0] == 'A' && n[1] == 'P' && n[2] == 'E' && n[3] == 'T');
        } else if (length > 0) {
            chained = final;  // the input ends within this frame
        }
        uint64_t at = m_offset + i;
        bool insideFrame = at < m_coveredUntil;
        if (chained && at + length > m_coveredUntil)
            m_coveredUntil = at + length;

        if (!JointStereoBoundOverflows(header) || (insideFrame && !chained))
            continue;
        int limit = LowSubbandLimit(h, header);
        unsigned modeExtension = static_cast<unsigned>(limit / 4 - 1);
        data[i + 3] = static_cast<unsigned char>((data[i + 3] & 0xCF) | (modeExtension << 4));
    }
    m_offset += scanEnd;
}

}  // namespace quorvan
