#include "JunkBetweenFrames.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "FrameHeader.h"

namespace quorvan {

namespace {

// The length of the Layer II or III frame whose header starts at p, 0 when
// none does.
size_t FrameAt(const unsigned char* p, uint32_t* header)
{
    FrameHeader h;
    *header = HeaderAt(p);
    return ParseFrameHeader(*header, &h) && h.layer != 1 ? FrameBytes(h) : 0;
}

}  // namespace

void JunkBetweenFrames::Filter(unsigned char* data, size_t* size, size_t* scanEnd, int64_t maxGap)
{
    std::vector<std::pair<size_t, size_t>> drops;  // [first, last) in data
    size_t i = m_resume;
    while (i < *scanEnd && i + 10 <= *size) {
        uint32_t header = 0;
        size_t length = FrameAt(data + i, &header);
        if (length > 0) {
            m_following = true;
            m_header = header;
            m_length = length;
            i += length;
            continue;
        }
        if (m_following) {
            m_following = false;
            size_t last = i + static_cast<size_t>(maxGap);
            if (m_length > 2 && last > i + m_length - 2)
                last = i + m_length - 2;  // never a whole frame: that would be a damaged one
            for (size_t j = i + 1; j <= last && j + 4 <= *size; ++j) {
                uint32_t next = 0;
                if (FrameAt(data + j, &next) > 0 && FrameKind::Of(next).SameAcrossJunk(FrameKind::Of(m_header))) {
                    drops.push_back({i, j});
                    i = j;
                    m_following = true;
                    break;
                }
            }
            if (m_following)
                continue;
        }
        size_t tag = Id3v2TagAt(data + i);
        i += tag > 0 ? tag : 1;
    }
    Remove(drops, data, size, scanEnd, i);
}

void JunkBetweenFrames::Remove(const std::vector<std::pair<size_t, size_t>>& drops, unsigned char* data, size_t* size,
                               size_t* scanEnd, size_t i)
{
    // Close the gaps; what lies past scanEnd moves up with the rest.
    size_t removed = 0, removedBeforeEnd = 0, write = drops.empty() ? *size : drops.front().first;
    for (size_t k = 0; k < drops.size(); ++k) {
        size_t from = drops[k].second, to = k + 1 < drops.size() ? drops[k + 1].first : *size;
        size_t gap = drops[k].second - drops[k].first;
        removed += gap;
        removedBeforeEnd += drops[k].first >= *scanEnd ? 0 : std::min(drops[k].second, *scanEnd) - drops[k].first;
        DroppedJunk d;
        d.offset = m_offset + static_cast<int64_t>(drops[k].first - (removed - gap));
        d.bytes = static_cast<int64_t>(gap);
        m_dropped.push_back(d);
        memmove(data + write, data + from, to - from);
        write += to - from;
    }
    *size -= removed;
    *scanEnd -= removedBeforeEnd;
    i -= removed;
    m_resume = i > *scanEnd ? i - *scanEnd : 0;
    m_offset += static_cast<int64_t>(*scanEnd);
    // Drops nothing asks for any more are not kept for ever.
    while (m_dropped.size() > 4096)
        m_dropped.pop_front();
}

}  // namespace quorvan
