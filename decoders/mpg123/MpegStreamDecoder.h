// The native-rate MPEG audio stream decoder: pulls bytes from a ByteSource,
// finds the stream, and hands out decoded audio as 16-bit interleaved PCM at
// the stream's own rate and channel count. Tags, Xing/Info frames and junk
// are skipped; the encoder delay and padding an Info frame announces are
// trimmed, also where encoded files were joined.
//
// libmpg123 decodes every frame it finds, wherever it finds one; audio is
// only handed out from confirmed chains of frames. A chain is frames that
// agree in version, layer, rate, channel count and the other fixed header
// fields, each one starting where the one before ends or a short stretch of
// junk after it (kMaxGapBytes; the kinds other data forms by chance must
// adjoin byte for byte). At the start, and whenever a frame does not continue
// the chain, frames are held back until enough of them form a chain of their
// own (or, for a short stream, up to its end). A frame after junk counts for
// less than one that adjoins: the longer the junk, the more places a chance
// match could have taken, so the more frames it takes. Random data therefore
// does not pass for audio, nor do frame headers scattered through it, a
// chance match inside junk is dropped, and a stream with junk between its
// frames is decoded whole.
#ifndef QUORVAN_DECODERS_MPEGSTREAMDECODER_H
#define QUORVAN_DECODERS_MPEGSTREAMDECODER_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

#include "InfoFrameScanner.h"
#include "JunkBetweenFrames.h"

struct mpg123_handle_struct;  // libmpg123's mpg123_handle

namespace quorvan {

// The input of a decoder. Read() fills up to `length` bytes and returns how
// many it stored; `end` is set once no more bytes will come.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Read(void* buffer, size_t length, bool& end) = 0;
};

struct PcmFormat {
    long rate = 0;
    int channels = 0;
    bool operator==(const PcmFormat& o) const { return rate == o.rate && channels == o.channels; }
    bool operator!=(const PcmFormat& o) const { return !(*this == o); }
};

// A run of decoded samples: `frames` x `format.channels` interleaved values.
struct PcmChunk {
    PcmFormat format;
    const int16_t* samples = nullptr;
    size_t frames = 0;
};

class MpegStreamDecoder {
public:
    enum Status {
        kAudio,  // a chunk was decoded (it may hold no samples)
        kError,  // something was skipped or could not be decoded; go on
        kEnd     // no more audio will come
    };

    // Frames that must follow each other before a run counts as audio.
    static constexpr int kConfirmFrames = 3;
    // The same for runs that look like what other data forms by chance:
    // machine code and tables are full of 0xFFFF, which reads as a Layer I
    // header, and repeat at fixed distances; a free-format frame ends wherever
    // the next header-like bytes are; real streams hardly ever set emphasis.
    // Such runs must be longer, and free-format frames of one length (give or
    // take the padding byte). Layers I and II of MPEG-2.5, which no encoder
    // writes, count among them.
    static constexpr int kConfirmUnlikelyFrames = 24;
    // The most junk between two frames of a chain (of the likely kinds).
    static constexpr int64_t kMaxGapBytes = 1024;
    // A frame g bytes after the end of the one before leaves log2(1 + g) bits
    // of its position open; this many such bits cost it the whole weight of a
    // frame toward confirming its run (a frame that adjoins weighs 1).
    static constexpr double kGapBitsPerFrame = 6;
    // Bytes asked of the source at a time.
    static constexpr size_t kReadChunk = 64 * 1024;

    // What identifies a frame toward its chain, and where it lies.
    struct FrameKey {
        int version = -1;
        int layer = -1;
        long rate = 0;
        int channels = 0;
        // Header fields a real stream keeps from frame to frame: mono, dual
        // channel or stereo (joint or not); CRC, copyright and original bits;
        // emphasis. Structured data (tables in a program, say) can form a
        // chain of frame-like headers, but rarely one that agrees in these.
        int modeClass = -1;
        int flags = 0;
        int emphasis = -1;
        bool freeFormat = false;
        bool operator==(const FrameKey& o) const
        {
            return version == o.version && layer == o.layer && rate == o.rate && channels == o.channels &&
                   modeClass == o.modeClass && flags == o.flags && emphasis == o.emphasis &&
                   freeFormat == o.freeFormat;
        }
    };
    struct FrameInfo {
        FrameKey key;
        int64_t position = -1;  // input offset of the frame's header
        int64_t bytes = 0;
        int64_t junkBefore = 0;  // dropped right before it (see JunkBetweenFrames)
    };
    // Frames decoded by other libmpg123 handles, handed to the decoder in
    // stream order in place of its own decoding (see SegmentedStream). The
    // decoder still reads its input as it would, and does everything else as
    // it would: only the handle's work is done elsewhere.
    struct FedFrame {
        // Decode on alone from here. `handle`, when set, is taken over: it
        // was fed the stream's bytes [base, fedTo), which hold every frame
        // fed so far from some frame on, and decoded all of them.
        bool own = false;
        mpg123_handle_struct* handle = nullptr;
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
    ~MpegStreamDecoder();
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

    // A libmpg123 handle set up as the decoder's own, opened for feeding;
    // null on failure, with the error in *err.
    static mpg123_handle_struct* NewHandle(int* err);
    // The frame `h` decoded last, whose first fed byte lies at `base`.
    static void Describe(mpg123_handle_struct* h, const PcmFormat& format, int64_t base, FrameInfo* info,
                         uint32_t* frameBytes);
    // True for a frame the decoder skips without decoding it.
    static bool SkipsFrame(uint32_t header);

private:
    struct Block {
        PcmFormat format;
        std::vector<int16_t> samples;
        size_t Frames() const { return format.channels ? samples.size() / static_cast<size_t>(format.channels) : 0; }
    };

    int CreateHandle();
    void DestroyHandle();
    bool ResetHandle();
    // Feeds the next piece of input; false when the input is exhausted.
    bool FeedMore();
    // One decoded frame (pointing into libmpg123's buffer), or the status to
    // pass on.
    Status DecodeOne(PcmChunk* frame, FrameInfo* info);
    static int FramesToConfirm(const FrameKey& key);
    // The bytes of junk between `prev` and `next` when `next` continues a
    // chain whose last frame is `prev`, else -1. A chain of free-format frames
    // keeps the length `chainBytes` (give or take the padding byte). With
    // `anyAdjoining`, a frame that starts exactly where `prev` ends continues
    // it whatever its fields.
    static int64_t GapTo(const FrameInfo& prev, const FrameInfo& next, int64_t chainBytes, bool anyAdjoining);
    // An Info frame the decoder came across: the first one gives the
    // stream's trimming; one in the middle of a chain starts another encoded
    // part, whose trimming applies from there on, the previous part's padding
    // being dropped.
    void TakeInfoFrame(const InfoFrame& tag);
    void StartPart(const InfoFrame& tag);
    // Passes decoded samples on, less the encoder delay at the start and
    // with the padding held back at the end.
    void Emit(const PcmFormat& format, const int16_t* samples, size_t frames);
    // The frames held back become audio.
    void EmitRun();
    void ClearRun();
    // The junk dropped right before the frame (see JunkBetweenFrames).
    void TakeJunkBefore(FrameInfo* info);
    // Takes over a fed decoder's handle (see FedFrame).
    bool Adopt(const FedFrame& f);

    ByteSource& m_source;
    mpg123_handle_struct* m_handle = nullptr;
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
    std::vector<unsigned char> m_adoptedOutput;  // the output buffer of a handle taken over
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

    // The frame decoded last.
    FrameInfo m_last;
    // The confirmed chain: its last frame, and its free-format frame length.
    bool m_anchored = false;
    FrameInfo m_anchor;
    int64_t m_anchorFrameBytes = 0;
    // The frames held back, not (yet) a confirmed chain; m_last is the last.
    Block m_run;
    int m_runLength = 0;
    double m_runWeight = 0;  // of its frames after the first, toward confirming it
    FrameKey m_runKey;
    int64_t m_runFrameBytes = 0;

    // Gapless trimming.
    bool m_trimSetUp = false;  // the stream's own trimming is known
    size_t m_skipStart = 0;    // frames still to drop at the start
    size_t m_endTrim = 0;      // frames to drop at the end
    Block m_hold;              // the last m_endTrim frames seen

    std::deque<Block> m_ready;
    Block m_handedOut;
};

}  // namespace quorvan

#endif
