// The segments of a stream in flight (see SegmentedStream), in order, and
// the one lock the three sides share: the reader adds them, the workers
// decode them, the stream's decoder takes their frames and lets them go. At
// most `inFlight` exist at a time, each with its input and decoded audio.
#ifndef QUORVAN_DECODERS_SEGMENTQUEUE_H
#define QUORVAN_DECODERS_SEGMENTQUEUE_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "FrameHeader.h"
#include "Mpg123Handle.h"
#include "Pcm.h"

namespace quorvan {

// Thrown to a thread of the pipeline that is told to stop.
struct PipelineCancelled {};

struct SegmentStats {
    size_t decoded = 0;   // segments decoded by their own handle
    size_t joined = 0;    // seams found equal, so the next segment's frames were used
    size_t fellBack = 0;  // the decoder went on alone where segments were planned
};

// A frame of the plain run, as the reader found it.
struct PlannedFrame {
    int64_t position;
    uint32_t bytes;
    uint32_t header;
};

// A frame a segment's handle decoded.
struct SegmentFrame {
    PcmFormat format;
    size_t offset = 0;  // of its samples in the segment's pcm
    size_t count = 0;
    uint32_t header = 0;
    uint32_t bytes = 0;
    FrameInfo info;
};

struct Segment {
    size_t index = 0;
    int64_t base = 0;  // stream offset of bytes[0]
    int64_t end = 0;   // and of the byte after the last
    std::vector<unsigned char> bytes;
    std::vector<PlannedFrame> frames;  // warm-up, own, then the checked ones
    size_t warm = 0;
    size_t own = 0;
    bool last = false;  // the decoder goes on alone after it
    // The worker's.
    bool taken = false;
    bool done = false;
    bool clean = false;                // every frame decoded as planned
    std::atomic<bool> dropped{false};  // no longer wanted
    std::vector<SegmentFrame> out;     // frames[warm...]
    std::vector<int16_t> pcm;          // their samples
    PcmFormat format;
    Mpg123Handle handle;
};
using SegmentPtr = std::shared_ptr<Segment>;

class SegmentQueue {
public:
    SegmentQueue(size_t inFlight, bool planning);

    // The reader's. Planning: false once no segment will be added; throws
    // PipelineCancelled after Cancel.
    bool Planning() const;
    bool PlanningEnded() const;
    // Adds `s` once there is room; false when planning ended meanwhile;
    // throws PipelineCancelled after Cancel. Planning ends after the last.
    bool Add(const SegmentPtr& s);
    void EndPlanning();

    // A worker's: the next segment to decode, with a buffer used before;
    // null after Cancel. Done when it was decoded.
    SegmentPtr Take();
    void Done(Segment& s);

    // The decoder's: segment `index` once decoded, null when it will not
    // come; throws PipelineCancelled after Cancel.
    SegmentPtr WaitFor(size_t index);
    // Its frames were all taken, the next segment's joined on.
    void Joined(const SegmentPtr& s);
    // No more segments: all but `keep` are dropped. `fellBack` counts a
    // place where the decoder goes on alone though segments were planned.
    void Stop(const SegmentPtr& keep, bool fellBack);

    // Stops every thread that waits here.
    void Cancel();
    SegmentStats Stats() const;

private:
    const size_t m_inFlight;
    mutable std::mutex m_mutex;
    // Woken: a worker when there is a segment to decode, the reader when
    // there is room for one, the decoder when one was decoded; all three
    // when planning or everything stops.
    std::condition_variable m_jobs, m_room, m_done;
    std::vector<std::vector<int16_t>> m_pool;  // pcm buffers to use again
    bool m_cancelled = false;
    bool m_planningEnded = false;  // no segment will be added
    std::deque<SegmentPtr> m_segments;  // in order; the decoder's first
    SegmentStats m_stats;
};

}  // namespace quorvan

#endif
