// A libmpg123 handle as the engine's decoders use it: set up once, the same
// way for the stream's decoder and for every segment's (see
// SegmentedStream), fed by hand, and stepped frame by frame. It is closed and
// deleted when it goes, and may be handed from one owner to another.
#ifndef QUORVAN_DECODERS_MPG123HANDLE_H
#define QUORVAN_DECODERS_MPG123HANDLE_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "FrameHeader.h"
#include "Pcm.h"

struct mpg123_handle_struct;  // libmpg123's mpg123_handle

namespace quorvan {

// What a step of DecodeNextFrame accepts.
struct FrameExpectation {
    // Only the frame planned, which starts with `header` (0: none may come),
    // in a format known before it. Otherwise any frame but those SkipsFrame
    // names.
    bool planned = false;
    uint32_t header = 0;
    // A frame may bring a new format.
    bool formatMayChange = true;
    // Where the samples go (`room` samples at most); libmpg123's own buffer
    // when null.
    int16_t* into = nullptr;
    size_t room = 0;
};

// A frame decoded: its header (left as it was when none was decoded) and its
// samples, in the handle's buffer or the one expected.
struct Mpg123Frame {
    uint32_t header = 0;
    const int16_t* samples = nullptr;
    size_t frames = 0;
};

class Mpg123Handle {
public:
    enum Step {
        kDecoded,    // *out holds the frame
        kNeedMore,   // feed it more input
        kDone,       // the stream ended
        kBadFormat,  // the frame's format is none the engine takes
        kRefused,    // a frame the expectation turned down, not decoded
        kFailed      // libmpg123 could not get through a frame
    };

    Mpg123Handle() = default;
    ~Mpg123Handle() { Close(); }
    Mpg123Handle(Mpg123Handle&& o) noexcept : m_handle(o.m_handle) { o.m_handle = nullptr; }
    Mpg123Handle& operator=(Mpg123Handle&& o) noexcept;
    Mpg123Handle(const Mpg123Handle&) = delete;
    Mpg123Handle& operator=(const Mpg123Handle&) = delete;

    // A handle set up as the engine's decoders want it, open for feeding.
    // Returns 0 or a negative libmpg123 error code (and holds none then).
    int Open();
    void Close();
    explicit operator bool() const { return m_handle != nullptr; }

    bool Feed(const unsigned char* bytes, size_t size);
    // libmpg123 looks ahead at every frame from now on, as free-format
    // frames need.
    bool LookAhead();
    // Decodes into `buffer` from now on (made as large as a frame needs);
    // for a handle whose buffer stayed with its last owner.
    bool UseBuffer(std::vector<unsigned char>& buffer);
    // The input bytes libmpg123 holds; false (and 0) when it cannot tell.
    bool BufferFill(long* fill) const;

    // Parses the next frame and, when `expect` accepts it, decodes it.
    // `format` is the handle's output format, updated where a frame brings
    // a new one.
    Step DecodeNextFrame(PcmFormat& format, const FrameExpectation& expect, Mpg123Frame* out);
    // The frame decoded last, whose first fed byte lies at `base`.
    void Describe(const PcmFormat& format, int64_t base, FrameInfo* info, uint32_t* frameBytes) const;

    // True for a frame the decoders skip without decoding it.
    static bool SkipsFrame(uint32_t header);

private:
    mpg123_handle_struct* m_handle = nullptr;
};

}  // namespace quorvan

#endif
