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
            throw PipelineCancelled();
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

namespace {

// The reader may run ahead of the decoder by the segments in flight, so that
// it never waits for the decoder while the decoder waits for a segment.
size_t PiecesAhead(const SegmentSettings& settings)
{
    size_t perSegment = (settings.maxOwnBytes + MpegStreamDecoder::kReadChunk - 1) / MpegStreamDecoder::kReadChunk;
    return DecodePipeline::kPieces + settings.inFlight * perSegment;
}

}  // namespace

DecodePipeline::DecodePipeline(DecoderReadCallback callback, int threads)
    : DecodePipeline(callback, threads, SegmentSettings::ForThreads(threads))
{
}

DecodePipeline::DecodePipeline(DecoderReadCallback callback, int threads, const SegmentSettings& settings)
    : m_callback(callback), m_threads(threads), m_pieces(PiecesAhead(settings))
{
    if (settings.ownFrames > 0 && threads > 1)
        m_segments.reset(new SegmentedStream(settings));
}

DecodePipeline::~DecodePipeline()
{
    Stop();
}

int DecodePipeline::Open()
{
    int rc = m_decoder.Open();
    if (rc != 0)
        return rc;
    if (m_segments) {
        m_decoder.SetFeed(m_segments.get());
        m_planning = true;
    }
    return Start() ? 0 : kNoThreads;
}

bool DecodePipeline::Start()
{
    try {
        // The reader last: if any thread cannot be started, nothing was read.
        // The side thread first: the resampler may wait for it.
        m_sideRuns = false;
        if (m_threads >= kHelperThreadsFrom) {
            m_sideThread = std::thread(&SideThread::Loop, &m_side);
            m_sideRuns = true;
        }
        m_resampling = std::thread(&DecodePipeline::ResampleLoop, this);
        m_decoding = std::thread(&DecodePipeline::DecodeLoop, this);
        if (m_segments)
            for (int i = 0; i < m_threads; ++i)
                m_workers.emplace_back(&SegmentedStream::WorkLoop, m_segments.get());
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
    if (m_segments)
        m_segments->Cancel();
    for (std::thread* t : {&m_reader, &m_decoding, &m_resampling})
        if (t->joinable())
            t->join();
    // After the resampler: a task it started is run to its end.
    m_side.Stop();
    if (m_sideThread.joinable())
        m_sideThread.join();
    for (std::thread& t : m_workers)
        t.join();
    m_workers.clear();
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
                if (m_planning)
                    m_segments->Append(m_unsent.bytes.data(), m_unsent.bytes.size(), end);
            }
            bool last = m_unsent.end;
            if (!m_pieces.Push(std::move(m_unsent)))
                return;  // stopped; the piece stays for a restart
            m_hasUnsent = false;
            m_readAll = last;
            if (m_planning)
                m_planning = m_segments->Plan();
        }
    } catch (const PipelineCancelled&) {
        return;
    } catch (...) {
        if (m_planning)
            m_segments->EndPlanning();
        m_planning = false;
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
    // Frames go to the resampler kDecodedAtOnce at a time (the last ones
    // when the stream ends, fails or stops being audio).
    std::vector<Decoded> ready;
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
                    m_decoder.TakeSamples(d.samples);
            }
            bool end = d.status == MpegStreamDecoder::kEnd;
            bool audio = d.status == MpegStreamDecoder::kAudio;
            ready.push_back(std::move(d));
            if ((!audio || ready.size() >= kDecodedAtOnce) && !m_decoded.PushAll(ready))
                return;
            if (end)
                break;
        }
    } catch (const PipelineCancelled&) {
        return;
    } catch (...) {
        Decoded failed;
        failed.failed = true;
        ready.push_back(std::move(failed));
        if (!m_decoded.PushAll(ready))
            return;
    }
    m_decoded.Close();
}

namespace {

PcmChunk ChunkOf(const PcmFormat& format, const std::vector<int16_t>& samples)
{
    PcmChunk chunk;
    chunk.format = format;
    chunk.samples = samples.empty() ? nullptr : samples.data();
    chunk.frames = format.channels ? samples.size() / static_cast<size_t>(format.channels) : 0;
    return chunk;
}

}  // namespace

// Takes the decoded chunks in batches: audio up to kBatchFrames, ended by
// the first result that is not audio. With a side thread, each batch is
// resampled ahead, the two channels at once; then it is added chunk by chunk
// as on one thread, so the results are made by the same calls in the same
// order.
void DecodePipeline::ResampleLoop()
{
    std::deque<MasdBlock> out;
    std::vector<Decoded> batch;
    std::deque<Decoded> taken;  // from the queue, not yet in a batch
    std::vector<PcmChunk> chunks;
    try {
        bool more = true;
        while (more && !m_maker.Ended()) {
            batch.clear();
            size_t frames = 0;
            while (frames < kBatchFrames) {
                if (taken.empty() && !(more = m_decoded.PopSome(taken, kDecodedAtOnce)))
                    break;
                Decoded d = std::move(taken.front());
                taken.pop_front();
                bool audio = !d.failed && d.status == MpegStreamDecoder::kAudio;
                batch.push_back(std::move(d));
                if (!audio)
                    break;
                frames += ChunkOf(batch.back().format, batch.back().samples).frames;
            }
            chunks.clear();
            for (const Decoded& b : batch)
                chunks.push_back(ChunkOf(b.format, b.samples));
            for (size_t i = 0; i < batch.size() && !m_maker.Ended(); ++i) {
                if (batch[i].failed) {
                    m_maker.Fail(out);
                } else {
                    if (m_sideRuns && batch[i].status == MpegStreamDecoder::kAudio && m_maker.Prepared() == 0) {
                        size_t audio = i;
                        while (audio < batch.size() && !batch[audio].failed &&
                               batch[audio].status == MpegStreamDecoder::kAudio)
                            ++audio;
                        m_maker.Prepare(chunks.data() + i, audio - i, m_side);
                    }
                    m_maker.Add(batch[i].status, chunks[i], batch[i].header, batch[i].bytes, out);
                }
            }
            if (!m_blocks.PushAll(out))
                return;
        }
    } catch (...) {
        out.clear();
        m_maker.Fail(out);
        if (!m_blocks.PushAll(out))
            return;
    }
    m_blocks.Close();
}

void DecodePipeline::Next(MasdBlock& block, int16_t* out)
{
    if (!m_ended && (!m_ready.empty() || m_blocks.PopSome(m_ready, kBlocksAtOnce))) {
        block = std::move(m_ready.front());
        m_ready.pop_front();
        if (block.frames)
            memcpy(out, block.samples.data(), block.frames * 2 * sizeof(int16_t));
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
    // The segments go: the decoder's flush ends its feed.
    Stop();
    if (m_segments) {
        m_stats = m_segments->Stats();
        m_segments.reset();
    }
    m_planning = false;
    m_decoded.Clear();
    m_blocks.Clear();
    m_ready.clear();
    m_maker.Reset();
    m_ended = false;
    m_last = MasdBlock();
    int rc = m_decoder.FlushAndResync();
    m_pieces.Reopen();
    m_decoded.Reopen();
    m_blocks.Reopen();
    m_side.Reopen();
    if (rc != 0)
        return rc;
    return Start() ? 0 : kNoThreads;
}

}  // namespace quorvan
