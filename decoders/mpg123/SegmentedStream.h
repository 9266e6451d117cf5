// One stream decoded in segments on several threads, each segment by a
// libmpg123 handle of its own, the frames handed to the stream's decoder
// (MpegStreamDecoder, as its FrameFeed) in order. The result is the same as
// decoding on one handle:
//   - Segments are only cut in a plain run of frames: from the stream's first
//     frame (after leading ID3v2 tags and junk, see FindFirstFrame), MPEG-1
//     Layer II or III frames of one kind (layer, rate, mode class, CRC,
//     copyright, original, no emphasis, not free format) that adjoin byte
//     for byte. (At the lower rates libmpg123's Layer III output
//     depends on where in its synthesis ring a handle started, in ways the
//     frames before do not show; those streams are decoded in one piece.) Where that ends (junk, damage, a tag, a frame cut
//     short, another kind of frame, the end of the input), the last segment
//     ends, and the stream's decoder goes on alone from there.
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
// its input and its decoded audio.
#ifndef QUORVAN_DECODERS_SEGMENTEDSTREAM_H
#define QUORVAN_DECODERS_SEGMENTEDSTREAM_H

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "MpegStreamDecoder.h"

namespace quorvan {

// Thrown to a thread of the pipeline that is told to stop.
struct PipelineCancelled {};

struct SegmentSettings {
    size_t ownFrames = 128;          // frames a segment hands out (0: no segments)
    size_t maxOwnBytes = 128 * 1024;  // and the input they may take at most
    size_t checkFrames = 3;          // frames decoded past a segment's end, checked
    int warmUpFrames = -1;           // frames decoded before it; -1: as the frames need
    size_t inFlight = 3;             // segments at a time
    bool resampled = true;           // streams at rates other than 44100 Hz too

    // From QUORVAN_DECODER_SEGMENT_FRAMES and QUORVAN_DECODER_SEGMENT_WARMUP
    // (see README), for `threads` threads.
    static SegmentSettings ForThreads(int threads);
};

struct SegmentStats {
    size_t decoded = 0;  // segments decoded by their own handle
    size_t joined = 0;   // seams found equal, so the next segment's frames were used
    size_t fellBack = 0; // the decoder went on alone where segments were planned
};

class SegmentedStream : public MpegStreamDecoder::FrameFeed {
public:
    explicit SegmentedStream(const SegmentSettings& settings);
    ~SegmentedStream() override;
    SegmentedStream(const SegmentedStream&) = delete;
    SegmentedStream& operator=(const SegmentedStream&) = delete;

    // The reader: every piece of input, in order, `end` with the last, each
    // given to Append before the stream's decoder may see it, then to Plan,
    // which hands out the segments it completes and waits while `inFlight`
    // exist. Plan returns false once no more segments will be made (the
    // reader then only reads on); it throws PipelineCancelled after Cancel.
    void Append(const unsigned char* bytes, size_t size, bool end);
    bool Plan();
    // The reader failed: no more segments.
    void EndPlanning();
    // A worker thread: decodes segments until Cancel.
    void WorkLoop();
    // The stream's decoder.
    void Next(MpegStreamDecoder::FedFrame& frame) override;
    // Stops every thread that waits here.
    void Cancel();

    SegmentStats Stats() const;

private:
    struct PlannedFrame {
        int64_t position;
        uint32_t bytes;
        uint32_t header;
    };
    struct DecodedFrame {
        PcmFormat format;
        size_t offset = 0;  // of its samples in the segment's pcm
        size_t count = 0;
        uint32_t header = 0;
        uint32_t bytes = 0;
        MpegStreamDecoder::FrameInfo info;
    };
    struct Segment {
        ~Segment();
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
        bool clean = false;    // every frame decoded as planned
        std::atomic<bool> dropped{false};  // no longer wanted
        std::vector<DecodedFrame> out;  // frames[warm...]
        std::vector<int16_t> pcm;       // their samples
        PcmFormat format;
        mpg123_handle_struct* handle = nullptr;
    };
    using SegmentPtr = std::shared_ptr<Segment>;

    // Planning, on the reader's thread.
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
    bool WalkFrames();
    bool CutSegment(bool walkEnded);
    size_t WarmUpFrames(size_t ownStart) const;
    static bool Plain(uint32_t header, uint32_t first);

    void Decode(Segment& s);
    // The decoder's side.
    SegmentPtr WaitFor(size_t index);
    bool Continues(const Segment& before, const Segment& after) const;
    void Emit(const Segment& s, const DecodedFrame& d, MpegStreamDecoder::FedFrame& f);
    void StopSegments(std::unique_lock<std::mutex>& lock);

    const SegmentSettings m_settings;

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

    // The reader's.
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

    // The decoder's.
    enum Phase { kStart, kOwn, kChecked, kAlone };
    Phase m_phase = kStart;
    SegmentPtr m_current;
    size_t m_emitted = 0;
};

}  // namespace quorvan

#endif
