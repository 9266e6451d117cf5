// The fields of a 32-bit MPEG audio frame header (its first four bytes read
// big-endian) and the frame length they give.
#ifndef QUORVAN_DECODERS_FRAMEHEADER_H
#define QUORVAN_DECODERS_FRAMEHEADER_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace quorvan {

struct FrameHeader {
    int version;        // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int layer;          // 1..3
    bool protectedByCrc;
    int bitrateKbps;    // 0 = free format
    int sampleRate;     // Hz
    bool padded;
    bool privateBit;
    int mode;           // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int modeExtension;  // 0..3
    bool copyright;
    bool original;
    int emphasis;       // 0..3 (2 is reserved)
};

// The 32-bit header starting at p (four bytes, big-endian).
inline uint32_t HeaderAt(const unsigned char* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// The first i in [from, end) with data[i] == 0xFF, the first byte of every
// frame header; `end` when there is none.
inline size_t NextSyncByte(const unsigned char* data, size_t from, size_t end)
{
    if (from >= end)
        return end;
    const void* p = memchr(data + from, 0xFF, end - from);
    return p ? static_cast<size_t>(static_cast<const unsigned char*>(p) - data) : end;
}

// The bytes of the ID3v2 tag whose header starts at p (ten bytes readable),
// header and footer included; 0 when none does. This is the tag libmpg123
// steps over (MPG123_SKIP_ID3V2): a version and revision byte other than
// 0xFF, a syncsafe size.
size_t Id3v2TagAt(const unsigned char* p);

// What kind of frame a header starts: the fields a real stream keeps from
// frame to frame, read whether or not the header is a valid one. Each
// question the engine asks of two frames' kinds is one predicate here.
struct FrameKind {
    bool sync = false;     // the eleven sync bits are set
    int version = -1;      // as in FrameHeader; -1 for the reserved value
    int layer = -1;        // 1..3; 4 for the reserved value
    long sampleRate = 0;   // Hz; 0 for the reserved index
    int channels = 0;
    int mode = -1;         // as in FrameHeader
    bool crc = false;
    bool copyright = false;
    bool original = false;
    int emphasis = -1;
    bool freeFormat = false;

    static FrameKind Of(uint32_t header);

    // Frames of one chain agree in all of it, stereo and joint stereo being
    // one. Structured data (tables in a program, say) can form a chain of
    // frame-like headers, but rarely one that agrees in these.
    bool SameChain(const FrameKind& o) const;
    // What the junk filter asks of the frame after a stretch of junk: the
    // same version, layer, protection and rate, and both mono or neither.
    bool SameAcrossJunk(const FrameKind& o) const;
    // The same sync, version, layer and rate: a header of another kind is
    // passed over when free-format frames are looked for.
    bool SameLayerAndRate(const FrameKind& o) const;
    // The next free-format frame of a run agrees in everything but the
    // padding, private and mode extension bits.
    bool SameFreeFormatRun(const FrameKind& o) const;
    // The kinds other data forms by chance: machine code and tables are full
    // of 0xFFFF, which reads as a Layer I header, and repeat at fixed
    // distances; a free-format frame ends wherever the next header-like bytes
    // are; real streams hardly ever set emphasis. Layers I and II of
    // MPEG-2.5, which no encoder writes (they are what tables of records look
    // like), count among them.
    bool Unlikely() const;
    // MPEG-1 Layer II or III at a fixed bitrate, no emphasis: the frames a
    // stream may be cut into segments at.
    bool Plain() const;
};

// A frame the decoder met: its kind and where it lies.
struct FrameInfo {
    FrameKind kind;
    int64_t position = -1;  // input offset of the frame's header
    int64_t bytes = 0;
    int64_t junkBefore = 0;  // dropped right before it (see JunkBetweenFrames)
};

// Decodes header; false when it is no valid frame header (no sync, reserved
// version, layer, bitrate or rate index).
bool ParseFrameHeader(uint32_t header, FrameHeader* out);

// Bytes of the frame the header starts, header included; 0 for free format.
uint32_t FrameBytes(const FrameHeader& h);

// True when a free-format frame header starts in data[0, scanEnd) and two
// more with the same version, layer, rate, mode, flags and emphasis follow it
// within data[0, size), at the distances of two frames of one length (give or
// take the padding byte).
bool FindsFreeFormatFrames(const unsigned char* data, size_t size, size_t scanEnd);

}  // namespace quorvan

#endif
