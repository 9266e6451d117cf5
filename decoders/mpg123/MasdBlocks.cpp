#include "MasdBlocks.h"

#include <algorithm>
#include <utility>

#include "QuorvanDecoderModules.h"

namespace quorvan {

void BlockMaker::Out(int rc, size_t frames, std::deque<MasdBlock>& out)
{
    out.emplace_back();
    MasdBlock& b = out.back();
    b.rc = rc;
    b.frameHeader = m_header;
    b.frameBytes = m_bytes;
    if (!frames)
        return;
    if (m_copyOut) {
        b.samples.resize(frames * 2);
        b.frames = m_output.Take(b.samples.data(), frames);
        b.samples.resize(b.frames * 2);
    } else {
        b.frames = frames;
        m_claimed += frames;
    }
}

void BlockMaker::Take(int16_t* out, size_t frames)
{
    m_claimed -= m_output.Take(out, frames);
}

void BlockMaker::Add(MpegStreamDecoder::Status status, const PcmChunk& chunk, uint32_t header, uint32_t bytes,
                     std::deque<MasdBlock>& out)
{
    if (m_ended)
        return;
    m_header = header;
    m_bytes = bytes;
    switch (status) {
    case MpegStreamDecoder::kEnd:
        if (m_syncReported) {
            m_output.Finish();
            while (Unclaimed() > 0)
                Out(DECODER_OK, std::min(kBlockFrames, Unclaimed()), out);
        }
        Out(DECODER_END, 0, out);
        m_ended = true;
        return;
    case MpegStreamDecoder::kError:
        Out(MASD_ERR_FRAME, 0, out);
        return;
    case MpegStreamDecoder::kAudio:
        if (!m_output.Push(chunk)) {
            Out(MASD_ERR_FRAME, 0, out);
            return;
        }
        // The first audio is reported by an empty block.
        if (!m_syncReported) {
            m_syncReported = true;
            Out(DECODER_OK, 0, out);
        }
        while (Unclaimed() >= kBlockFrames)
            Out(DECODER_OK, kBlockFrames, out);
        return;
    }
}

void BlockMaker::Fail(std::deque<MasdBlock>& out)
{
    if (m_ended)
        return;
    Out(MASD_ERR_FRAME, 0, out);
    m_ended = true;
}

MasdBlock BlockMaker::EndBlock() const
{
    MasdBlock b;
    b.rc = DECODER_END;
    b.frameHeader = m_header;
    b.frameBytes = m_bytes;
    return b;
}

void BlockMaker::Reset()
{
    m_output.Reset();
    m_claimed = 0;
    m_ended = false;
    m_header = 0;
    m_bytes = 0;
}

void SequentialBlocks::Next(MasdBlock& block, int16_t* out)
{
    try {
        while (m_pending.empty() && !m_maker.Ended()) {
            PcmChunk chunk;
            MpegStreamDecoder::Status s = m_decoder.Next(&chunk);
            m_maker.Add(s, chunk, m_decoder.FrameHeader(), m_decoder.FrameBytes(), m_pending);
        }
    } catch (...) {
        m_pending.clear();
        m_maker.Fail(m_pending);
    }
    if (m_pending.empty()) {
        block = m_maker.EndBlock();
        return;
    }
    block = std::move(m_pending.front());
    m_pending.pop_front();
    m_maker.Take(out, block.frames);
}

int SequentialBlocks::FlushAndResync()
{
    m_pending.clear();
    m_maker.Reset();
    return m_decoder.FlushAndResync();
}

}  // namespace quorvan
