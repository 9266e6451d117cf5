#include "MpegStreamDecoder.h"

#include <string.h>

#include <algorithm>
#include <utility>

namespace quorvan {

namespace {

// Failed libmpg123 steps in a row, with no progress through its input, after
// which it is started afresh on the following input.
const int kStuckLimit = 4;
// Bytes kept back from each feed so that the scanner can look past the last
// position it examines.
const size_t kLookahead = InfoFrameScanner::kLookahead;

}  // namespace

MpegStreamDecoder::MpegStreamDecoder(ByteSource& source) : m_source(source) {}

int MpegStreamDecoder::Open()
{
    m_input.resize(kReadChunk + kLookahead);
    return CreateHandle();
}

int MpegStreamDecoder::CreateHandle()
{
    int err = m_handle.Open();
    if (err != 0)
        return err;
    // Offsets count from the first byte this handle is fed, as libmpg123's do.
    m_junk.Reset();
    m_infoScanner.Reset();
    m_fedEnd = 0;
    m_positionBase = 0;
    m_format = PcmFormat();
    m_stuck = 0;
    m_lastFill = 0;
    m_readahead = false;
    // Offsets from another handle mean nothing to this one.
    m_chain.ForgetPositions();
    return 0;
}

bool MpegStreamDecoder::ResetHandle()
{
    m_handle.Close();
    return CreateHandle() == 0;
}

bool MpegStreamDecoder::Adopt(FedFrame& f)
{
    m_handle = std::move(f.handle);
    m_positionBase = f.base;
    // It decoded into its segment's buffer, which goes with the segment.
    if (!m_handle.UseBuffer(m_adoptedOutput))
        return ResetHandle();
    // It has all that was fed up to fedTo; the rest of what this decoder fed
    // (nothing was dropped before fedTo, so offsets agree) follows.
    bool ok = f.fedTo <= m_fedEnd && f.fedTo >= m_unfedStart &&
              m_fedEnd - m_unfedStart == static_cast<int64_t>(m_unfed.size());
    if (ok && m_readahead)
        ok = m_handle.LookAhead();
    size_t from = ok ? static_cast<size_t>(f.fedTo - m_unfedStart) : 0;
    if (ok && from < m_unfed.size())
        ok = m_handle.Feed(m_unfed.data() + from, m_unfed.size() - from);
    m_unfed = std::vector<unsigned char>();
    if (!ok)
        return ResetHandle();
    return true;
}

bool MpegStreamDecoder::FeedMore()
{
    if (!m_handle || (m_inputEnded && m_carry == 0))
        return false;
    size_t got = 0;
    if (!m_inputEnded) {
        got = m_source.Read(m_input.data() + m_carry, kReadChunk, m_inputEnded);
        if (got > kReadChunk)
            got = 0;
        if (got == 0)
            m_inputEnded = true;
    }
    size_t size = m_carry + got;
    size_t keep = m_inputEnded ? 0 : std::min(size, kLookahead);
    size_t feed = size - keep;
    if (!m_readahead && FindsFreeFormatFrames(m_input.data(), size, feed))
        m_readahead = m_handle.LookAhead();
    // Free-format frames cannot be followed by their lengths: junk is left
    // to libmpg123 then.
    if (!m_readahead) {
        m_junk.Filter(m_input.data(), &size, &feed, FrameChain::kMaxGapBytes);
        keep = size - feed;
    }
    m_infoScanner.Scan(m_input.data(), size, feed);
    m_stuck = 0;
    if (feed > 0 && m_feed) {
        m_unfedStart = m_fedEnd;
        m_unfed.assign(m_input.data(), m_input.data() + feed);
    } else if (feed > 0 && !m_handle.Feed(m_input.data(), feed)) {
        m_carry = 0;
        return ResetHandle();
    }
    m_fedEnd += static_cast<int64_t>(feed);
    memmove(m_input.data(), m_input.data() + feed, keep);
    m_carry = keep;
    return feed > 0 || !m_inputEnded;
}

bool MpegStreamDecoder::TakeFed(PcmChunk* frame, FrameInfo* info, Status* status)
{
    m_fed = FedFrame();
    m_feed->Next(m_fed);
    if (m_fed.own) {
        m_feed = nullptr;
        *status = kEnd;
        return m_fed.handle && !Adopt(m_fed);
    }
    // Read as far as libmpg123 would have had to for this frame.
    int64_t end = m_fed.info.position + m_fed.info.bytes;
    while (m_fedEnd < end && FeedMore()) {
    }
    m_format = m_fed.format;
    m_frameHeader = m_fed.header;
    m_frameBytes = m_fed.bytes;
    m_stuck = 0;
    *info = m_fed.info;
    frame->format = m_format;
    frame->samples = m_fed.samples;
    frame->frames = m_fed.frames;
    TakeJunkBefore(info);
    *status = kAudio;
    return true;
}

MpegStreamDecoder::Status MpegStreamDecoder::Stuck()
{
    // A frame libmpg123 could not get through. Ask again while it moves on
    // through its input (it resyncs by itself), else start over on fresh
    // input.
    long fill = 0;
    if (m_handle.BufferFill(&fill) && fill < m_lastFill)
        m_stuck = 0;
    m_lastFill = fill;
    if (++m_stuck >= kStuckLimit) {
        if (m_inputEnded && m_carry == 0)
            return kEnd;
        if (!ResetHandle())
            return kEnd;
    }
    return kError;
}

MpegStreamDecoder::Status MpegStreamDecoder::DecodeOwn(PcmChunk* frame, FrameInfo* info, bool* again)
{
    // Frame by frame: parse the next frame, look at its header, decode it.
    Mpg123Frame decoded;
    decoded.header = m_frameHeader;
    Mpg123Handle::Step step = m_handle.DecodeNextFrame(m_format, FrameExpectation(), &decoded);
    m_frameHeader = decoded.header;
    switch (step) {
    case Mpg123Handle::kBadFormat:
        return ResetHandle() ? kError : kEnd;
    case Mpg123Handle::kRefused:
        return kError;
    case Mpg123Handle::kNeedMore:
        *again = FeedMore();
        return kEnd;
    case Mpg123Handle::kDone:
        return kEnd;
    case Mpg123Handle::kFailed:
        return Stuck();
    case Mpg123Handle::kDecoded:
        break;
    }
    m_stuck = 0;
    m_handle.Describe(m_format, m_positionBase, info, &m_frameBytes);
    TakeJunkBefore(info);
    frame->format = m_format;
    frame->samples = decoded.samples;
    frame->frames = decoded.frames;
    return kAudio;
}

MpegStreamDecoder::Status MpegStreamDecoder::DecodeOne(PcmChunk* frame, FrameInfo* info)
{
    for (;;) {
        if (!m_handle)
            return kEnd;
        Status status = kEnd;
        if (m_feed) {
            if (TakeFed(frame, info, &status))
                return status;
            continue;
        }
        bool again = false;
        status = DecodeOwn(frame, info, &again);
        if (!again)
            return status;
    }
}

void MpegStreamDecoder::TakeJunkBefore(FrameInfo* info)
{
    std::deque<DroppedJunk>& junk = m_junk.dropped();
    while (!junk.empty() && junk.front().offset < info->position)
        junk.pop_front();
    info->junkBefore = !junk.empty() && junk.front().offset == info->position ? junk.front().bytes : 0;
}

void MpegStreamDecoder::TakeInfoFrame(const FrameInfo& info, PcmChunk* frame)
{
    // The scanner found them where libmpg123 decoded a frame.
    std::deque<InfoFrame>& tags = m_infoScanner.found();
    while (!tags.empty() && tags.front().offset < info.position)
        tags.pop_front();
    if (!tags.empty() && tags.front().offset == info.position) {
        frame->frames = 0;
        m_trim.TakeInfoFrame(tags.front(), m_chain.InConfirmedChain());
        tags.pop_front();
    }
}

void MpegStreamDecoder::EndOfStream()
{
    SampleBlock run;
    if (m_chain.End(&run)) {
        m_trim.AudioStarted();
        m_trim.Emit(run);
    }
    m_trim.DropHeld();
    m_handle.Close();
}

MpegStreamDecoder::Status MpegStreamDecoder::Next(PcmChunk* chunk)
{
    if (!chunk)
        return kEnd;
    *chunk = PcmChunk();
    m_handedOut = SampleBlock();
    for (;;) {
        if (m_trim.TakeReady(&m_handedOut)) {
            chunk->format = m_handedOut.format;
            chunk->samples = m_handedOut.samples.data();
            chunk->frames = m_handedOut.Frames();
            return kAudio;
        }
        if (!m_handle)
            return kEnd;
        PcmChunk frame;
        FrameInfo info;
        Status s = DecodeOne(&frame, &info);
        if (s == kEnd) {
            EndOfStream();
            continue;
        }
        if (s == kError) {
            m_chain.Break();
            return kError;
        }
        TakeInfoFrame(info, &frame);
        SampleBlock run;
        switch (m_chain.Add(info, frame, &run)) {
        case FrameChain::kContinues:
            m_trim.Emit(frame.format, frame.samples, frame.frames);
            break;
        case FrameChain::kConfirmed:
            m_trim.AudioStarted();
            m_trim.Emit(run);
            break;
        case FrameChain::kHeld:
            break;
        case FrameChain::kDropped:
            return kError;
        }
    }
}

int MpegStreamDecoder::FlushAndResync()
{
    m_feed = nullptr;
    m_unfed = std::vector<unsigned char>();
    m_chain.DropRun();
    m_frameBytes = 0;
    m_frameHeader = 0;
    m_carry = 0;
    m_trim.Flush();
    m_handedOut = SampleBlock();
    m_handle.Close();
    return CreateHandle();
}

}  // namespace quorvan
