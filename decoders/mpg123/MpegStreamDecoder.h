// The native-rate MPEG audio stream decoder: pulls bytes from a ByteSource,
// finds the stream, and hands out each decoded frame as 16-bit interleaved PCM
// at the stream's own rate and channel count. Tags, Xing/Info frames and
// junk are skipped; encoder delay and padding are trimmed when the stream
// carries them.
//
// Nothing is handed out until the stream is confirmed: several frames in a row
// with the same version, layer, rate and channel count (or, for a very short
// stream, every frame up to its end). Random data therefore does not pass for
// audio.
#ifndef QUORVAN_DECODERS_MPEGSTREAMDECODER_H
#define QUORVAN_DECODERS_MPEGSTREAMDECODER_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct mpg123_handle_struct;

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

    // Frames that must agree before the stream counts as found.
    static const int kSyncFrames = 3;
    // Bytes asked of the source at a time.
    static const size_t kReadChunk = 64 * 1024;

    explicit MpegStreamDecoder(ByteSource& source);
    ~MpegStreamDecoder();
    MpegStreamDecoder(const MpegStreamDecoder&) = delete;
    MpegStreamDecoder& operator=(const MpegStreamDecoder&) = delete;

    // Prepares libmpg123. Returns 0 or a negative libmpg123 error code.
    int Open();

    // Decodes the next frame. On kAudio, *chunk stays valid until the next call.
    Status Next(PcmChunk* chunk);

    // True once the stream was confirmed.
    bool Synchronised() const { return m_synced; }
    // Size in bytes (header included) of the last frame decoded, 0 before any.
    uint32_t FrameBytes() const { return m_frameBytes; }

    // Drops everything buffered, input and output, and searches the stream
    // afresh from the next input byte (confirmation included). Returns 0 or a
    // negative libmpg123 error code.
    int FlushAndResync();

private:
    struct FrameKey {
        int version = -1;
        int layer = -1;
        long rate = 0;
        int channels = 0;
        bool operator==(const FrameKey& o) const
        {
            return version == o.version && layer == o.layer && rate == o.rate && channels == o.channels;
        }
    };

    int CreateHandle();
    void DestroyHandle();
    // Feeds the next piece of input; false when the input is exhausted.
    bool FeedMore();
    bool ResetHandle();
    // One libmpg123 step; returns kAudio with the frame in m_frame*, or the
    // status to pass on.
    Status DecodeOne(PcmChunk* frame, FrameKey* key);
    bool m_pendingHandedOut = false;
    Status NextBeforeSync(PcmChunk* chunk);
    void ResetPending();

    ByteSource& m_source;
    mpg123_handle_struct* m_handle = nullptr;
    std::vector<unsigned char> m_input;
    bool m_inputEnded = false;
    bool m_synced = false;
    PcmFormat m_format;
    uint32_t m_frameBytes = 0;
    // Libmpg123 steps in a row that failed without new input fed.
    int m_stuck = 0;
    // libmpg123's unread input after the last failed step.
    long m_lastFill = 0;

    // Before confirmation: the frames decoded so far in the current run.
    std::vector<int16_t> m_pending;
    size_t m_pendingFrames = 0;
    int m_runLength = 0;
    FrameKey m_runKey;
    PcmFormat m_runFormat;
};

}  // namespace quorvan

#endif
