#include "InfoFrameScanner.h"

#include <string.h>

#include <algorithm>

#include "FrameHeader.h"

namespace quorvan {

namespace {

// Where the Xing/Info tag starts in a Layer III frame: after the header and
// the side information, whose size depends on version and channels.
size_t TagOffset(const FrameHeader& h)
{
    bool mono = h.mode == 3;
    if (h.version == 1)
        return 4 + (mono ? 17 : 32);
    return 4 + (mono ? 9 : 17);
}

}  // namespace

void InfoFrameScanner::Reset()
{
    m_offset = 0;
    m_found.clear();
}

void InfoFrameScanner::Scan(const unsigned char* data, size_t size, size_t scanEnd)
{
    size_t last = std::min(scanEnd, size >= 4 ? size - 3 : 0);  // headers may start before it
    for (size_t i = NextSyncByte(data, 0, last); i < last; i = NextSyncByte(data, i + 1, last)) {
        if ((data[i + 1] & 0xE6) != 0xE2)
            continue;  // not Layer III
        FrameHeader h;
        if (!ParseFrameHeader(HeaderAt(data + i), &h))
            continue;
        size_t tag = i + TagOffset(h);
        if (tag + 8 > size)
            continue;
        if (memcmp(data + tag, "Xing", 4) != 0 && memcmp(data + tag, "Info", 4) != 0)
            continue;
        uint32_t flags = HeaderAt(data + tag + 4);
        size_t lame = tag + 8;
        lame += (flags & 1) ? 4 : 0;    // frame count
        lame += (flags & 2) ? 4 : 0;    // byte count
        lame += (flags & 4) ? 100 : 0;  // seek table
        lame += (flags & 8) ? 4 : 0;    // quality
        InfoFrame info;
        info.offset = m_offset + static_cast<int64_t>(i);
        // The LAME extension: a 9-byte encoder name, then delay and padding as
        // two 12-bit numbers 21 bytes in.
        if (lame + 24 <= size && (memcmp(data + lame, "LAME", 4) == 0 || memcmp(data + lame, "Lav", 3) == 0)) {
            const unsigned char* p = data + lame + 21;
            info.delay = (p[0] << 4) | (p[1] >> 4);
            info.padding = ((p[1] & 0x0F) << 8) | p[2];
        }
        m_found.push_back(info);
        // Nothing sensible is kept for ever: a stream of joined files has a
        // few of these, junk that looks like them is dropped as it is passed.
        if (m_found.size() > 64)
            m_found.pop_front();
    }
    m_offset += static_cast<int64_t>(scanEnd);
}

}  // namespace quorvan
