// One stream decoded in segments on several threads, each segment by a
// libmpg123 handle of its own, the frames handed to the stream's decoder
// (MpegStreamDecoder, as its FrameFeed) in order. The result is the same as
// decoding on one handle:
//   - Segments are only cut in a plain run of frames: from the stream's first
//     frame (after leading ID3v2 tags and junk, see SegmentPlanner), MPEG-1
//     Layer II or III frames of one kind (layer, rate, mode class, CRC,
//     copyright, original, no emphasis, not free format) that adjoin byte
//     for byte (FrameKind::Plain and SameChain). (At the lower rates
//     libmpg123's Layer III output depends on where in its synthesis ring a
//     handle started, in ways the frames before do not show; those streams
//     are decoded in one piece.) Where that ends (junk, damage, a tag, a
//     frame cut short, another kind of frame, the end of the input), the last
//     segment ends, and the stream's decoder goes on alone from there.
//   - A segment's handle starts a few frames early, enough to fill the
//     Layer III bit reservoir and the synthesis state; what it decodes there
//     is dropped. It decodes a few frames past the segment's end as well, and
//     those must equal the next segment's first frames, sample for sample.
//   - Where they differ, or a segment's handle did not decode every frame it
//     was given as planned, the handle of the segment before goes on: it
//     hands out its frames past the end, then the stream's decoder takes the
//     handle over and decodes on alone (see MpegStreamDecoder::FedFrame).
//   - The stream's decoder reads its input and does everything else
//     (confirmation, Info frames, trimming, junk) as it would on one thread.
// Memory is bounded: at most `inFlight` segments exist at a time, each with
// its input and its decoded audio (SegmentQueue). The reader plans them
// (SegmentPlanner), the workers decode them (SegmentWorker), the stream's
// decoder joins them (SegmentJoiner).
#ifndef QUORVAN_DECODERS_SEGMENTEDSTREAM_H
#define QUORVAN_DECODERS_SEGMENTEDSTREAM_H

#include <stddef.h>

#include "DecoderThreads.h"
#include "MpegStreamDecoder.h"
#include "SegmentJoiner.h"
#include "SegmentPlanner.h"
#include "SegmentQueue.h"

namespace quorvan {

class SegmentedStream : public MpegStreamDecoder::FrameFeed {
public:
    explicit SegmentedStream(const SegmentSettings& settings);
    SegmentedStream(const SegmentedStream&) = delete;
    SegmentedStream& operator=(const SegmentedStream&) = delete;

    // The reader: every piece of input, in order, `end` with the last, each
    // given to Append before the stream's decoder may see it, then to Plan,
    // which hands out the segments it completes and waits while `inFlight`
    // exist. Plan returns false once no more segments will be made (the
    // reader then only reads on); it throws PipelineCancelled after Cancel.
    void Append(const unsigned char* bytes, size_t size, bool end) { m_planner.Append(bytes, size, end); }
    bool Plan() { return m_planner.Plan(); }
    // The reader failed: no more segments.
    void EndPlanning() { m_queue.EndPlanning(); }
    // A worker thread: decodes segments until Cancel.
    void WorkLoop();
    // The stream's decoder.
    void Next(MpegStreamDecoder::FedFrame& frame) override { m_joiner.Next(frame); }
    // Stops every thread that waits here.
    void Cancel() { m_queue.Cancel(); }

    SegmentStats Stats() const { return m_queue.Stats(); }

private:
    const SegmentSettings m_settings;
    SegmentQueue m_queue;
    SegmentPlanner m_planner;
    SegmentJoiner m_joiner;
};

}  // namespace quorvan

#endif
