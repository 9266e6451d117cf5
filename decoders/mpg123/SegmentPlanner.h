// The reader's side of a segmented stream (see SegmentedStream): it keeps
// the input from the plain run's first frame on, walks the run from header
// to header, and cuts it into segments for the workers.
#ifndef QUORVAN_DECODERS_SEGMENTPLANNER_H
#define QUORVAN_DECODERS_SEGMENTPLANNER_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

#include "DecoderThreads.h"
#include "SegmentQueue.h"

namespace quorvan {

class SegmentPlanner {
public:
    SegmentPlanner(const SegmentSettings& settings, SegmentQueue& queue) : m_settings(settings), m_queue(queue) {}

    // See SegmentedStream.
    void Append(const unsigned char* bytes, size_t size, bool end);
    bool Plan();

private:
    struct Cut {
        size_t own = 0;
        size_t warm = 0;
        bool last = false;
    };

    // Where the plain run may begin: after what the stream's decoder passes
    // over before its first frame the same way whatever follows, ID3v2 tags
    // (stepped over whole, by libmpg123 and by the decoder's junk filter
    // alike) and junk without a 0xFF byte (which the junk filter cannot take
    // for a frame, so it drops none of it: the stream's offsets stay those of
    // the input). Its first 0xFF byte must start the first frame, within
    // MaxLeadBytes. The first segment's handle is fed from byte 0, as the
    // stream's own is, so that it meets the tags and the junk as that one
    // does; its first frame must still be the one planned, or the decoder
    // decodes the stream alone.
    bool FindFirstFrame();
    int64_t MaxLeadBytes() const;
    void WalkFrames();
    bool Plain(uint32_t header) const;
    // The next segment, handed to the queue; false when there is none (yet).
    bool CutSegment();
    bool Measure(Cut* cut);
    SegmentPtr MakeSegment(const Cut& cut) const;
    size_t WarmUpFrames(size_t ownStart) const;

    const SegmentSettings& m_settings;
    SegmentQueue& m_queue;
    std::vector<unsigned char> m_buffer;  // input from m_bufferStart on
    int64_t m_bufferStart = 0;
    bool m_inputEnded = false;
    std::deque<PlannedFrame> m_walked;  // from a few frames before the next segment
    size_t m_nextOwn = 0;               // in m_walked, the next segment's first frame
    size_t m_dropped = 0;               // frames before m_walked
    int64_t m_walkAt = 0;               // where the next frame should start
    int64_t m_firstFrame = -1;          // where the plain run begins, once found
    uint32_t m_firstHeader = 0;
    bool m_walkEnded = false;
    size_t m_nextIndex = 0;
};

}  // namespace quorvan

#endif
