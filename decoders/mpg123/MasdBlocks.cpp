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
    if (frames) {
        b.samples.resize(frames * 2);
        b.samples.resize(m_output.Take(b.samples.data(), frames) * 2);
    }
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
            while (m_output.Available() > 0)
                Out(DECODER_OK, std::min(kBlockFrames, m_output.Available()), out);
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
        while (m_output.Available() >= kBlockFrames)
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
    m_ended = false;
    m_header = 0;
    m_bytes = 0;
}

void SequentialBlocks::Next(MasdBlock& block)
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
}

int SequentialBlocks::FlushAndResync()
{
    m_pending.clear();
    m_maker.Reset();
    return m_decoder.FlushAndResync();
}

}  // namespace quorvan
