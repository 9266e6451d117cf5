#include "DecodePipeline.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "QuorvanDecoderModules.h"

namespace quorvan {

size_t DecodePipeline::QueueSource::Read(void* buffer, size_t length, bool& end)
{
    if (!m_ended && length > 0 && m_pos == m_piece.bytes.size() && !m_piece.end) {
        Piece next;
        if (!m_pieces.Pop(next))
            throw Cancelled();
        m_piece = std::move(next);
        m_pos = 0;
        if (m_piece.failed)
            throw std::bad_alloc();
    }
    size_t n = std::min(length, m_piece.bytes.size() - m_pos);
    if (n)
        memcpy(buffer, m_piece.bytes.data() + m_pos, n);
    m_pos += n;
    if (m_pos == m_piece.bytes.size() && m_piece.end)
        m_ended = true;
    end = m_ended;
    return n;
}

DecodePipeline::DecodePipeline(DecoderReadCallback callback) : m_callback(callback) {}

DecodePipeline::~DecodePipeline()
{
    Stop();
}

int DecodePipeline::Open()
{
    int rc = m_decoder.Open();
    if (rc != 0)
        return rc;
    return Start() ? 0 : kNoThreads;
}

bool DecodePipeline::Start()
{
    try {
        // The reader last: if any thread cannot be started, nothing was read.
        m_resampling = std::thread(&DecodePipeline::ResampleLoop, this);
        m_decoding = std::thread(&DecodePipeline::DecodeLoop, this);
        if (m_readAll)
            m_pieces.Close();
        else
            m_reader = std::thread(&DecodePipeline::ReadLoop, this);
        return true;
    } catch (const std::system_error&) {
        Stop();
        return false;
    }
}

void DecodePipeline::Stop()
{
    m_pieces.Cancel();
    m_decoded.Cancel();
    m_blocks.Cancel();
    for (std::thread* t : {&m_reader, &m_decoding, &m_resampling})
        if (t->joinable())
            t->join();
}

void DecodePipeline::ReadLoop()
{
    try {
        while (!m_readAll) {
            if (!m_hasUnsent) {
                m_unsent = Piece();
                m_unsent.bytes.resize(MpegStreamDecoder::kReadChunk);
                bool end = false;
                m_unsent.bytes.resize(m_callback.Read(m_unsent.bytes.data(), m_unsent.bytes.size(), end));
                m_unsent.end = end;
                m_hasUnsent = true;
            }
            bool last = m_unsent.end;
            if (!m_pieces.Push(std::move(m_unsent)))
                return;  // stopped; the piece stays for a restart
            m_hasUnsent = false;
            m_readAll = last;
        }
    } catch (...) {
        Piece failed;
        failed.end = failed.failed = true;
        m_hasUnsent = false;
        m_readAll = true;
        if (!m_pieces.Push(std::move(failed)))
            return;
    }
    m_pieces.Close();
}

void DecodePipeline::DecodeLoop()
{
    try {
        for (;;) {
            PcmChunk chunk;
            Decoded d;
            d.status = m_decoder.Next(&chunk);
            d.header = m_decoder.FrameHeader();
            d.bytes = m_decoder.FrameBytes();
            if (d.status == MpegStreamDecoder::kAudio) {
                d.format = chunk.format;
                if (chunk.samples)
                    d.samples.assign(chunk.samples,
                                     chunk.samples + chunk.frames * static_cast<size_t>(chunk.format.channels));
            }
            bool end = d.status == MpegStreamDecoder::kEnd;
            if (!m_decoded.Push(std::move(d)))
                return;
            if (end)
                break;
        }
    } catch (const Cancelled&) {
        return;
    } catch (...) {
        Decoded failed;
        failed.failed = true;
        if (!m_decoded.Push(std::move(failed)))
            return;
    }
    m_decoded.Close();
}

void DecodePipeline::ResampleLoop()
{
    std::deque<MasdBlock> out;
    try {
        Decoded d;
        while (!m_maker.Ended() && m_decoded.Pop(d)) {
            if (d.failed) {
                m_maker.Fail(out);
            } else {
                PcmChunk chunk;
                chunk.format = d.format;
                chunk.samples = d.samples.empty() ? nullptr : d.samples.data();
                chunk.frames = d.format.channels ? d.samples.size() / static_cast<size_t>(d.format.channels) : 0;
                m_maker.Add(d.status, chunk, d.header, d.bytes, out);
            }
            for (; !out.empty(); out.pop_front())
                if (!m_blocks.Push(std::move(out.front())))
                    return;
        }
    } catch (...) {
        out.clear();
        m_maker.Fail(out);
        for (; !out.empty(); out.pop_front())
            if (!m_blocks.Push(std::move(out.front())))
                return;
    }
    m_blocks.Close();
}

void DecodePipeline::Next(MasdBlock& block)
{
    if (!m_ended && m_blocks.Pop(block)) {
        m_ended = block.rc == DECODER_END;
        m_last.frameHeader = block.frameHeader;
        m_last.frameBytes = block.frameBytes;
        return;
    }
    m_ended = true;
    block = MasdBlock();
    block.rc = DECODER_END;
    block.frameHeader = m_last.frameHeader;
    block.frameBytes = m_last.frameBytes;
}

int DecodePipeline::FlushAndResync()
{
    // What the reader read ahead stays: it was never given to the decoder.
    Stop();
    m_decoded.Clear();
    m_blocks.Clear();
    m_maker.Reset();
    m_ended = false;
    m_last = MasdBlock();
    int rc = m_decoder.FlushAndResync();
    m_pieces.Reopen();
    m_decoded.Reopen();
    m_blocks.Reopen();
    if (rc != 0)
        return rc;
    return Start() ? 0 : kNoThreads;
}

}  // namespace quorvan
