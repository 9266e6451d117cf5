// The native-rate MPEG audio stream decoder: pulls bytes from a ByteSource,
// finds the stream, and hands out decoded audio as 16-bit interleaved PCM at
// the stream's own rate and channel count. Tags, Xing/Info frames and junk
// are skipped (JunkBetweenFrames, InfoFrameScanner); only confirmed chains of
// frames are audio (FrameChain); the encoder delay and padding an Info frame
// announces are trimmed, also where encoded files were joined (GaplessTrim).
// This class feeds libmpg123 (Mpg123Handle) and passes each frame through
// those steps; docs/decoder-engine.md, "The decoder engine", draws the
// whole path.
#ifndef QUORVAN_DECODERS_MPEGSTREAMDECODER_H
#define QUORVAN_DECODERS_MPEGSTREAMDECODER_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "FrameChain.h"
#include "GaplessTrim.h"
#include "InfoFrameScanner.h"
#include "JunkBetweenFrames.h"
#include "Mpg123Handle.h"
#include "Pcm.h"

namespace quorvan {

// The input of a decoder. Read() fills up to `length` bytes and returns how
// many it stored; `end` is set once no more bytes will come.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(void* buffer, size_t length, bool& end) = 0;
};

class MpegStreamDecoder {
public:
    enum Status {
        kAudio,  // a chunk was decoded (it may hold no samples)
        kError,  // something was skipped or could not be decoded; go on
        kEnd     // no more audio will come
    };

    // Bytes asked of the source at a time.
    static constexpr size_t kReadChunk = 64 * 1024;

    // Frames decoded by other libmpg123 handles, handed to the decoder in
    // stream order in place of its own decoding (see SegmentedStream). The
    // decoder still reads its input as it would, and does everything else as
    // it would: only the handle's work is done elsewhere.
    struct FedFrame {
        // Decode on alone from here. `handle`, when open, is taken over: it
        // was fed the stream's bytes [base, fedTo), which hold every frame
        // fed so far from some frame on, and decoded all of them.
        bool own = false;
        Mpg123Handle handle;
        int64_t base = 0;
        int64_t fedTo = 0;
        // Otherwise a frame: its audio, header, size and place.
        PcmFormat format;
        const int16_t* samples = nullptr;
        size_t frames = 0;
        uint32_t header = 0;
        uint32_t bytes = 0;
        FrameInfo info;
    };
    class FrameFeed {
    public:
        virtual ~FrameFeed() = default;
        // The next frame, or `own`; throws to stop the decoder.
        virtual void Next(FedFrame& frame) = 0;
    };

    explicit MpegStreamDecoder(ByteSource& source);
    MpegStreamDecoder(const MpegStreamDecoder&) = delete;
    MpegStreamDecoder& operator=(const MpegStreamDecoder&) = delete;

    // Prepares libmpg123. Returns 0 or a negative libmpg123 error code.
    int Open();

    // Decodes on. On kAudio, *chunk stays valid until the next call.
    Status Next(PcmChunk* chunk);

    // Moves the samples of the chunk Next gave last into `out`.
    void TakeSamples(std::vector<int16_t>& out) { out.swap(m_handedOut.samples); }

    // Size in bytes (header included) of the last frame decoded, 0 before any.
    uint32_t FrameBytes() const { return m_frameBytes; }
    // The 32-bit header of the last frame decoded, 0 before any.
    uint32_t FrameHeader() const { return m_frameHeader; }

    // Drops everything buffered, input and output, and searches the stream
    // afresh from the next input byte. Returns 0 or a negative libmpg123
    // error code.
    int FlushAndResync();

    // Takes the frames from `feed` until it says otherwise; before the first
    // call of Next. FlushAndResync ends it.
    void SetFeed(FrameFeed* feed) { m_feed = feed; }

private:
    int CreateHandle();
    bool ResetHandle();
    // Feeds the next piece of input; false when the input is exhausted.
    bool FeedMore();
    // One decoded frame (pointing into libmpg123's buffer or the feed's), or
    // the status to pass on.
    Status DecodeOne(PcmChunk* frame, FrameInfo* info);
    // The next frame of the feed; true when *status is to be passed on,
    // false once the decoder decodes on its own.
    bool TakeFed(PcmChunk* frame, FrameInfo* info, Status* status);
    Status DecodeOwn(PcmChunk* frame, FrameInfo* info, bool* again);
    // A step of libmpg123 that failed.
    Status Stuck();
    // The junk dropped right before the frame (see JunkBetweenFrames).
    void TakeJunkBefore(FrameInfo* info);
    // An Info frame is no audio (its samples are dropped); it still belongs
    // to the chain of frames.
    void TakeInfoFrame(const FrameInfo& info, PcmChunk* frame);
    void EndOfStream();
    // Takes over a fed decoder's handle (see FedFrame).
    bool Adopt(FedFrame& f);

    ByteSource& m_source;
    // The output buffer of a handle taken over; it outlives the handle.
    std::vector<unsigned char> m_adoptedOutput;
    Mpg123Handle m_handle;
    std::vector<unsigned char> m_input;
    JunkBetweenFrames m_junk;
    InfoFrameScanner m_infoScanner;
    size_t m_carry = 0;  // bytes kept at the front of m_input for the next feed
    // Bytes fed so far, counted as the handle's positions are (plus
    // m_positionBase); while frames are fed from elsewhere, the handle is not
    // fed, and the last piece it would have been fed is kept in m_unfed.
    int64_t m_fedEnd = 0;
    int64_t m_positionBase = 0;
    FrameFeed* m_feed = nullptr;
    FedFrame m_fed;
    std::vector<unsigned char> m_unfed;
    int64_t m_unfedStart = 0;
    bool m_inputEnded = false;
    // libmpg123 looks ahead at the first frame, and needs to at free-format
    // frames: once those are seen in the input, it does so for this handle.
    bool m_readahead = false;
    PcmFormat m_format;
    uint32_t m_frameBytes = 0;
    uint32_t m_frameHeader = 0;
    // Failed libmpg123 steps in a row with no progress through the input.
    int m_stuck = 0;
    long m_lastFill = 0;

    FrameChain m_chain;
    GaplessTrim m_trim;
    SampleBlock m_handedOut;
};

}  // namespace quorvan

#endif
