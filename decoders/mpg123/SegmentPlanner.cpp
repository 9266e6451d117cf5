#include "SegmentPlanner.h"

#include <algorithm>

#include "FrameHeader.h"
#include "InfoFrameScanner.h"
#include "Mpg123Handle.h"
#include "StereoResampler.h"

namespace quorvan {

namespace {

// Main data the warm-up must carry beyond its last two frames: the Layer III
// bit reservoir reaches up to 511 bytes back. Each frame is counted less the
// most its header, CRC and side information take.
const int64_t kReservoirBytes = 511;
const int64_t kFrameOverhead = 40;

}  // namespace

bool SegmentPlanner::Plain(uint32_t header) const
{
    FrameKind kind = FrameKind::Of(header);
    return ParseFrameHeader(header, nullptr) && kind.Plain() && !Mpg123Handle::SkipsFrame(header) &&
           kind.SameChain(FrameKind::Of(m_firstHeader));
}

int64_t SegmentPlanner::MaxLeadBytes() const
{
    // The reader reads on while the stream's decoder waits for the first
    // segment, which takes nothing before it: the pieces that lead and the
    // first segment come in must fit the reader's queue, which holds those of
    // `inFlight` segments and a few more (see DecodePipeline). The lead takes
    // the room of the segments not yet in flight.
    return static_cast<int64_t>(m_settings.inFlight > 0 ? m_settings.inFlight - 1 : 0) *
           static_cast<int64_t>(m_settings.maxOwnBytes);
}

bool SegmentPlanner::FindFirstFrame()
{
    for (;;) {
        if (m_walkAt > MaxLeadBytes()) {
            m_walkEnded = true;
            return false;
        }
        int64_t have = m_bufferStart + static_cast<int64_t>(m_buffer.size()) - m_walkAt;
        if (have < 10) {
            m_walkEnded = m_inputEnded;
            return false;
        }
        const unsigned char* p = m_buffer.data() + (m_walkAt - m_bufferStart);
        if (p[0] == 0xFF) {
            m_firstFrame = m_walkAt;
            m_firstHeader = HeaderAt(p);
            FrameHeader h;
            if (!m_settings.resampled &&
                (!ParseFrameHeader(m_firstHeader, &h) || h.sampleRate != StereoResampler::kOutputRate)) {
                m_walkEnded = true;  // left to the pipeline alone
                return false;
            }
            return true;
        }
        size_t tag = Id3v2TagAt(p);
        m_walkAt += tag > 0 ? static_cast<int64_t>(tag) : 1;
    }
}

void SegmentPlanner::WalkFrames()
{
    if (m_firstFrame < 0 && !FindFirstFrame())
        return;
    while (!m_walkEnded) {
        size_t at = static_cast<size_t>(m_walkAt - m_bufferStart);
        size_t have = m_buffer.size() - at;
        if (have < 4) {
            m_walkEnded = m_inputEnded;
            return;
        }
        uint32_t header = HeaderAt(m_buffer.data() + at);
        FrameHeader h;
        if (!Plain(header) || !ParseFrameHeader(header, &h)) {
            m_walkEnded = true;
            return;
        }
        uint32_t bytes = FrameBytes(h);
        if (have < bytes) {
            m_walkEnded = m_inputEnded;
            return;
        }
        m_walked.push_back(PlannedFrame{m_walkAt, bytes, header});
        m_walkAt += bytes;
    }
}

size_t SegmentPlanner::WarmUpFrames(size_t ownStart) const
{
    if (m_settings.warmUpFrames >= 0)
        return std::min(static_cast<size_t>(m_settings.warmUpFrames), ownStart);
    size_t warm = 2;
    int64_t mainData = 0;
    while (warm < ownStart && warm < SegmentSettings::kMaxWarmUpFrames && mainData < kReservoirBytes) {
        ++warm;
        mainData += static_cast<int64_t>(m_walked[ownStart - warm].bytes) - kFrameOverhead;
    }
    // libmpg123's synthesis filter writes a ring of 16 positions, one step a
    // 32-sample slot (36 of them a frame), and rounds differently at some of
    // them: the segment's handle reaches its first frame at the position the
    // stream's own handle does, which decoded every frame from the first.
    const size_t kPeriod = 4;  // frames
    size_t absolute = m_dropped + ownStart;
    while ((absolute - warm) % kPeriod != 0)
        ++warm;
    return warm <= ownStart ? warm : 0;
}

bool SegmentPlanner::Measure(Cut* cut)
{
    size_t available = m_walked.size() - m_nextOwn;
    size_t own = 0;
    size_t bytes = 0;
    while (own < available && own < m_settings.ownFrames && bytes < m_settings.maxOwnBytes)
        bytes += m_walked[m_nextOwn + own++].bytes;
    bool full = own == m_settings.ownFrames || bytes >= m_settings.maxOwnBytes;
    size_t check = m_settings.checkFrames;
    if (!m_walkEnded && (!full || available < own + check))
        return false;  // wait for more input
    cut->last = available < own + check;
    cut->own = cut->last ? available : own;
    cut->warm = m_nextIndex == 0 ? 0 : WarmUpFrames(m_nextOwn);
    // No room for its warm-up (segments of a few frames only), shorter than
    // a segment and its check (not worth it), or nothing left.
    bool noWarmUp = m_nextIndex > 0 && cut->warm == 0 && m_settings.warmUpFrames != 0;
    if (noWarmUp || (m_nextIndex == 0 && cut->last) || cut->own == 0) {
        m_queue.EndPlanning();
        return false;
    }
    return true;
}

SegmentPtr SegmentPlanner::MakeSegment(const Cut& cut) const
{
    size_t first = m_nextOwn - cut.warm, end = m_nextOwn + cut.own + (cut.last ? 0 : m_settings.checkFrames);
    // The first segment's handle is fed what lies before the first frame
    // too, as the stream's own handle is (see FindFirstFrame).
    int64_t base = m_nextIndex == 0 ? 0 : m_walked[first].position;
    int64_t endByte = m_walked[end - 1].position + m_walked[end - 1].bytes;
    // The stream's decoder reads this far past a frame before it takes it
    // (see MpegStreamDecoder::FeedMore): those bytes must be with it before
    // the reader may wait here.
    if (!m_inputEnded && endByte + static_cast<int64_t>(InfoFrameScanner::kLookahead) >
                             m_bufferStart + static_cast<int64_t>(m_buffer.size()))
        return nullptr;
    SegmentPtr s = std::make_shared<Segment>();
    s->index = m_nextIndex;
    s->warm = cut.warm;
    s->own = cut.own;
    s->last = cut.last;
    s->frames.assign(m_walked.begin() + static_cast<ptrdiff_t>(first), m_walked.begin() + static_cast<ptrdiff_t>(end));
    s->base = base;
    const unsigned char* from = m_buffer.data() + (s->base - m_bufferStart);
    s->bytes.assign(from, from + (endByte - s->base));
    s->end = endByte;
    return s;
}

bool SegmentPlanner::CutSegment()
{
    Cut cut;
    if (!Measure(&cut))
        return false;
    SegmentPtr s = MakeSegment(cut);
    if (!s || !m_queue.Add(s))
        return false;
    ++m_nextIndex;
    m_nextOwn += cut.own;
    // Keep what the next segment's warm-up may need, and the bytes from there.
    while (m_nextOwn > SegmentSettings::kMaxWarmUpFrames + 8) {
        m_walked.pop_front();
        --m_nextOwn;
        ++m_dropped;
    }
    return !cut.last;
}

void SegmentPlanner::Append(const unsigned char* bytes, size_t size, bool end)
{
    if (m_queue.PlanningEnded())
        return;
    int64_t keep = m_nextIndex == 0 ? 0 : m_walked.empty() ? m_walkAt : m_walked.front().position;
    size_t dead = static_cast<size_t>(keep - m_bufferStart);
    if (dead > 0 && dead >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<ptrdiff_t>(dead));
        m_bufferStart = keep;
    }
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    m_inputEnded = end;
}

bool SegmentPlanner::Plan()
{
    if (!m_queue.Planning())
        return false;
    for (;;) {
        WalkFrames();
        if (!CutSegment())
            break;
    }
    if (m_queue.PlanningEnded()) {
        m_buffer = std::vector<unsigned char>();
        m_walked.clear();
        return false;
    }
    return true;
}

}  // namespace quorvan
