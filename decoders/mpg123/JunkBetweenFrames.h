// Drops short junk between Layer II and III frames before libmpg123 sees it.
// Whenever libmpg123 has to search for the next header, the frames after it
// do not decode as they would without the junk: a Layer III frame loses the
// bits it borrows from the frames before it (the bit reservoir), so a stream
// with a stray byte after every frame would decode to near silence, and
// Layer II output changes too.
//
// The frames are followed from header to header by their lengths. Where the
// next header is missing and, within less than a frame (kMaxGapBytes at
// most), one of the same version, rate, protection and channel count
// follows, the bytes before it are dropped; otherwise nothing is, and
// libmpg123 resyncs as usual. ID3v2 tags are stepped over whole. Whether the
// frames found this way are audio is not decided here: every drop is
// recorded, and the decoder's confirmation counts the dropped bytes as junk.
#ifndef QUORVAN_DECODERS_JUNKBETWEENFRAMES_H
#define QUORVAN_DECODERS_JUNKBETWEENFRAMES_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <utility>
#include <vector>

namespace quorvan {

struct DroppedJunk {
    int64_t offset = 0;  // in the bytes passed on, where the junk was
    int64_t bytes = 0;
};

class JunkBetweenFrames {
public:
    // Looks at the frames starting in data[0, *scanEnd), bytes up to *size
    // (at least maxGap + 4 past *scanEnd unless the input ends there), and
    // removes the junk it drops; *size and *scanEnd shrink by what was
    // removed before them. data[0] follows the bytes passed on before.
    void Filter(unsigned char* data, size_t* size, size_t* scanEnd, int64_t maxGap);
    void Reset() { *this = JunkBetweenFrames(); }

    // The drops not yet taken, in order.
    std::deque<DroppedJunk>& dropped() { return m_dropped; }

private:
    // Removes the drops, [first, last) in data, and records them; `i` is
    // where the scan stopped.
    void Remove(const std::vector<std::pair<size_t, size_t>>& drops, unsigned char* data, size_t* size,
                size_t* scanEnd, size_t i);

    int64_t m_offset = 0;       // offset of data[0] in the bytes passed on
    size_t m_resume = 0;        // where in the next data to go on
    bool m_following = false;   // m_resume is where the next header should be
    uint32_t m_header = 0;      // of the frame followed last
    size_t m_length = 0;        // its length
    std::deque<DroppedJunk> m_dropped;
};

}  // namespace quorvan

#endif
