// What masd_decode hands out, one result at a time, and how the native-rate
// decoder's output becomes those results. BlockMaker holds that logic once;
// SequentialBlocks runs it on the caller's thread and DecodePipeline on
// threads of its own, so both give the same results in the same order.
#ifndef QUORVAN_DECODERS_MASDBLOCKS_H
#define QUORVAN_DECODERS_MASDBLOCKS_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

#include "CallbackSource.h"
#include "DecoderApi.h"
#include "MpegStreamDecoder.h"
#include "StereoResampler.h"

namespace quorvan {

// Stereo frames that fit the converter's sample buffer.
constexpr size_t kBlockFrames = DECODER_SAMPLE_BUFFER_BYTES / (2 * sizeof(int16_t));

// One masd_decode result.
struct MasdBlock {
    int rc = DECODER_END;
    uint32_t frameHeader = 0;  // the decoder's last frame header and size at that point
    uint32_t frameBytes = 0;
    size_t frames = 0;             // 44100 Hz stereo frames; 0 for an empty block
    std::vector<int16_t> samples;  // them, interleaved, when the maker copies them out
};

class BlockMaker {
public:
    // With copyOut, every result carries its samples. Without, they stay in
    // the maker until Take() is called, result by result, in order.
    explicit BlockMaker(bool copyOut) : m_copyOut(copyOut) {}

    // Adds what one call of MpegStreamDecoder::Next gave (with the decoder's
    // frame header and size after it) and appends the results it makes.
    void Add(MpegStreamDecoder::Status status, const PcmChunk& chunk, uint32_t header, uint32_t bytes,
             std::deque<MasdBlock>& out);
    // Resamples the audio of chunks that Add is given next ahead, on this
    // thread and side's (see StereoResampler::Prepare); returns how many.
    size_t Prepare(const PcmChunk* chunks, size_t count, SideThread& side)
    {
        return m_ended ? 0 : m_output.Prepare(chunks, count, side);
    }
    // Chunks prepared but not yet added.
    size_t Prepared() const { return m_output.Prepared(); }
    // An internal failure: one empty MASD_ERR_FRAME result, then the end.
    void Fail(std::deque<MasdBlock>& out);
    // True once the end was made; nothing is added after it.
    bool Ended() const { return m_ended; }
    // The result every call gives after the end.
    MasdBlock EndBlock() const;
    // Drops the resampler's state and output; the stream is reported again.
    void Reset();
    // The samples of the oldest result made without copyOut.
    void Take(int16_t* out, size_t frames);

private:
    void Out(int rc, size_t frames, std::deque<MasdBlock>& out);
    size_t Unclaimed() const { return m_output.Available() - m_claimed; }

    const bool m_copyOut;
    size_t m_claimed = 0;  // frames of results made but not yet taken
    StereoResampler m_output;
    bool m_syncReported = false;
    bool m_ended = false;
    uint32_t m_header = 0;
    uint32_t m_bytes = 0;
};

// Where masd_decode takes its results from.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Prepares the decoder; 0 or a negative libmpg123 code.
    virtual int Open() = 0;
    // The next result, its samples (block.frames of them) written to out,
    // which holds kBlockFrames. Never throws.
    virtual void Next(MasdBlock& block, int16_t* out) = 0;
    // See masd_flushAndResync; 0 or a negative libmpg123 code.
    virtual int FlushAndResync() = 0;
};

// Everything on the caller's thread, the decoder reading as it goes.
class SequentialBlocks : public BlockSource {
public:
    explicit SequentialBlocks(DecoderReadCallback callback) : m_source(callback), m_decoder(m_source) {}
    int Open() override { return m_decoder.Open(); }
    void Next(MasdBlock& block, int16_t* out) override;
    int FlushAndResync() override;

private:
    CallbackSource m_source;
    MpegStreamDecoder m_decoder;
    BlockMaker m_maker{false};
    std::deque<MasdBlock> m_pending;
};

}  // namespace quorvan

#endif
