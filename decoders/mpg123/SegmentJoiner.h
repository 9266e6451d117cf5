// The stream decoder's side of a segmented stream (see SegmentedStream): it
// hands out the segments' frames in order, joins each segment to the next
// where their seam matches, and hands the decoder the handle to go on with
// where it does not.
#ifndef QUORVAN_DECODERS_SEGMENTJOINER_H
#define QUORVAN_DECODERS_SEGMENTJOINER_H

#include <stddef.h>

#include "MpegStreamDecoder.h"
#include "SegmentQueue.h"

namespace quorvan {

class SegmentJoiner {
public:
    explicit SegmentJoiner(SegmentQueue& queue) : m_queue(queue) {}

    void Next(MpegStreamDecoder::FedFrame& f);

private:
    // The first segment, or the decoder alone.
    void Start();
    // The next segment when its first frames equal the current one's frames
    // past its end; else the current one's handle goes on through them.
    void JoinNext();
    static bool Continues(const Segment& before, const Segment& after);
    void Emit(MpegStreamDecoder::FedFrame& f);
    // The decoder takes the current segment's handle over.
    void HandOver(MpegStreamDecoder::FedFrame& f);

    SegmentQueue& m_queue;
    enum Phase { kStart, kOwn, kChecked, kAlone };
    Phase m_phase = kStart;
    SegmentPtr m_current;
    size_t m_emitted = 0;
};

}  // namespace quorvan

#endif
