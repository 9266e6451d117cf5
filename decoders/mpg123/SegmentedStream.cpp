#include "SegmentedStream.h"

#include <mpg123.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <utility>

#include "FrameHeader.h"

namespace quorvan {

namespace {

// Frames of the plain run kept before the next segment, for its warm-up.
const size_t kMaxWarmUpFrames = 32;
// Main data the warm-up must carry beyond its last two frames: the Layer III
// bit reservoir reaches up to 511 bytes back. Each frame is counted less the
// most its header, CRC and side information take.
const int64_t kReservoirBytes = 511;
const int64_t kFrameOverhead = 40;

long EnvNumber(const char* name, long fallback, long low, long high)
{
    const char* value = getenv(name);
    if (!value)
        return fallback;
    char* end = nullptr;
    long n = strtol(value, &end, 10);
    return end != value && *end == '\0' && n >= low && n <= high ? n : fallback;
}

int ModeClass(uint32_t header)
{
    int mode = static_cast<int>((header >> 6) & 3);
    return mode == 1 ? 0 : mode;  // joint stereo is stereo
}

}  // namespace

SegmentSettings SegmentSettings::ForThreads(int threads)
{
    SegmentSettings s;
    // One more than the workers and one for the decoder, so that a worker
    // finds one to decode while the decoder takes the frames of another and
    // the other workers are ahead of it; more than six at a time would not
    // fit the memory a conversion may take.
    s.inFlight = static_cast<size_t>(std::min(threads + 2, 6));
    // Each segment holds its decoded samples until the decoder has taken
    // them: the segments in flight share a budget. Longer segments spend
    // fewer frames on warm-ups and checks (about 7 a segment) and keep the
    // workers from waiting on one another. More workers hold more of their
    // own (stacks, handles, the allocator's arenas), so they get less.
    const size_t kStereoFrameBytes = 1152 * 2 * sizeof(int16_t);
    const size_t samplesBudget = s.inFlight <= 4 ? 5u << 20 : 4u << 20;
    size_t frames = std::max<size_t>(128, samplesBudget / (s.inFlight * kStereoFrameBytes));
    s.ownFrames = static_cast<size_t>(EnvNumber("QUORVAN_DECODER_SEGMENT_FRAMES", static_cast<long>(frames), 0, 100000));
    if (s.ownFrames > 0 && s.ownFrames < 2 * s.checkFrames)
        s.ownFrames = 2 * s.checkFrames;
    // Their input: up to 1 KiB a frame (320 kbit/s at 44.1 kHz).
    s.maxOwnBytes = std::max<size_t>(s.ownFrames, 128) * 1024;
    s.warmUpFrames = static_cast<int>(EnvNumber("QUORVAN_DECODER_SEGMENT_WARMUP", -1, 0, kMaxWarmUpFrames));
    // A stream that is resampled keeps one core busy resampling: with two
    // threads, segment workers only take time from it (a 48 kHz stream
    // converts about 8% faster without them), from three on they help.
    s.resampled = threads >= 3;
    return s;
}

SegmentedStream::Segment::~Segment()
{
    if (handle) {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
}

SegmentedStream::SegmentedStream(const SegmentSettings& settings) : m_settings(settings)
{
    if (m_settings.ownFrames == 0)
        m_planningEnded = true;
}

SegmentedStream::~SegmentedStream() = default;

SegmentStats SegmentedStream::Stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

void SegmentedStream::Cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    for (SegmentPtr& s : m_segments)
        s->dropped = true;
    m_jobs.notify_all();
    m_room.notify_all();
    m_done.notify_all();
}

void SegmentedStream::EndPlanning()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_planningEnded = true;
    m_done.notify_all();
}

// ---- Planning ----------------------------------------------------------------

bool SegmentedStream::Plain(uint32_t header, uint32_t first)
{
    FrameHeader h;
    if (!ParseFrameHeader(header, &h) || h.version != 1 || h.layer == 1 || h.bitrateKbps <= 0 || h.emphasis != 0 ||
        MpegStreamDecoder::SkipsFrame(header))
        return false;
    // Sync, version, layer, CRC, rate, copyright, original and emphasis; the
    // mode as the decoder's chains see it.
    const uint32_t kSame = 0xFFFF0C0Fu;
    return (header & kSame) == (first & kSame) && ModeClass(header) == ModeClass(first);
}

int64_t SegmentedStream::MaxLeadBytes() const
{
    // The reader reads on while the stream's decoder waits for the first
    // segment, which takes nothing before it: the pieces that lead and the
    // first segment come in must fit the reader's queue, which holds those of
    // `inFlight` segments and a few more (see DecodePipeline). The lead takes
    // the room of the segments not yet in flight.
    return static_cast<int64_t>(m_settings.inFlight > 0 ? m_settings.inFlight - 1 : 0) *
           static_cast<int64_t>(m_settings.maxOwnBytes);
}

bool SegmentedStream::FindFirstFrame()
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
            if (!m_settings.resampled && (!ParseFrameHeader(m_firstHeader, &h) || h.sampleRate != 44100)) {
                m_walkEnded = true;  // left to the pipeline alone
                return false;
            }
            return true;
        }
        size_t tag = Id3v2TagAt(p);
        m_walkAt += tag > 0 ? static_cast<int64_t>(tag) : 1;
    }
}

bool SegmentedStream::WalkFrames()
{
    if (m_firstFrame < 0 && !FindFirstFrame())
        return false;
    while (!m_walkEnded) {
        size_t at = static_cast<size_t>(m_walkAt - m_bufferStart);
        size_t have = m_buffer.size() - at;
        if (have < 4) {
            m_walkEnded = m_inputEnded;
            return false;
        }
        uint32_t header = HeaderAt(m_buffer.data() + at);
        FrameHeader h;
        if (!Plain(header, m_firstHeader) || !ParseFrameHeader(header, &h)) {
            m_walkEnded = true;
            return false;
        }
        uint32_t bytes = FrameBytes(h);
        if (have < bytes) {
            m_walkEnded = m_inputEnded;
            return false;
        }
        m_walked.push_back(PlannedFrame{m_walkAt, bytes, header});
        m_walkAt += bytes;
    }
    return false;
}

size_t SegmentedStream::WarmUpFrames(size_t ownStart) const
{
    if (m_settings.warmUpFrames >= 0)
        return std::min(static_cast<size_t>(m_settings.warmUpFrames), ownStart);
    size_t warm = 2;
    int64_t mainData = 0;
    while (warm < ownStart && warm < kMaxWarmUpFrames && mainData < kReservoirBytes) {
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

bool SegmentedStream::CutSegment(bool walkEnded)
{
    size_t available = m_walked.size() - m_nextOwn;
    size_t own = 0;
    size_t bytes = 0;
    while (own < available && own < m_settings.ownFrames && bytes < m_settings.maxOwnBytes)
        bytes += m_walked[m_nextOwn + own++].bytes;
    bool full = own == m_settings.ownFrames || bytes >= m_settings.maxOwnBytes;
    size_t check = m_settings.checkFrames;
    if (!walkEnded && (!full || available < own + check))
        return false;  // wait for more input
    bool last = available < own + check;
    if (last)
        own = available;
    size_t warm = m_nextIndex == 0 ? 0 : WarmUpFrames(m_nextOwn);
    if (m_nextIndex > 0 && warm == 0 && m_settings.warmUpFrames != 0) {
        // No room for its warm-up (segments of a few frames only).
        EndPlanning();
        return false;
    }
    if (m_nextIndex == 0 && last) {
        // Shorter than a segment and its check: not worth it.
        EndPlanning();
        return false;
    }
    if (own == 0) {
        EndPlanning();
        return false;
    }

    size_t first = m_nextOwn - warm, end = m_nextOwn + own + (last ? 0 : check);
    // The first segment's handle is fed what lies before the first frame
    // too, as the stream's own handle is (see FindFirstFrame).
    int64_t base = m_nextIndex == 0 ? 0 : m_walked[first].position;
    int64_t endByte = m_walked[end - 1].position + m_walked[end - 1].bytes;
    // The stream's decoder reads this far past a frame before it takes it
    // (see MpegStreamDecoder::FeedMore): those bytes must be with it before
    // the reader may wait here.
    if (!m_inputEnded && endByte + static_cast<int64_t>(InfoFrameScanner::kLookahead) >
                             m_bufferStart + static_cast<int64_t>(m_buffer.size()))
        return false;

    SegmentPtr s = std::make_shared<Segment>();
    s->index = m_nextIndex;
    s->warm = warm;
    s->own = own;
    s->last = last;
    s->frames.assign(m_walked.begin() + static_cast<ptrdiff_t>(first), m_walked.begin() + static_cast<ptrdiff_t>(end));
    s->base = base;
    const unsigned char* from = m_buffer.data() + (s->base - m_bufferStart);
    s->bytes.assign(from, from + (endByte - s->base));
    s->end = endByte;

    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_cancelled && !m_planningEnded && m_segments.size() >= m_settings.inFlight)
            m_room.wait(lock);
        if (m_cancelled)
            throw PipelineCancelled();
        if (m_planningEnded)
            return false;
        m_segments.push_back(s);
        m_jobs.notify_one();
        if (last) {
            m_planningEnded = true;
            m_done.notify_all();
        }
    }
    ++m_nextIndex;
    m_nextOwn += own;
    // Keep what the next segment's warm-up may need, and the bytes from there.
    while (m_nextOwn > kMaxWarmUpFrames + 8) {
        m_walked.pop_front();
        --m_nextOwn;
        ++m_dropped;
    }
    return !last;
}

void SegmentedStream::Append(const unsigned char* bytes, size_t size, bool end)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_planningEnded)
            return;
    }
    int64_t keep = m_nextIndex == 0 ? 0 : m_walked.empty() ? m_walkAt : m_walked.front().position;
    size_t dead = static_cast<size_t>(keep - m_bufferStart);
    if (dead > 0 && dead >= m_buffer.size() / 2) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<ptrdiff_t>(dead));
        m_bufferStart = keep;
    }
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    m_inputEnded = end;
}

bool SegmentedStream::Plan()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_cancelled)
            throw PipelineCancelled();
        if (m_planningEnded)
            return false;
    }
    for (;;) {
        WalkFrames();
        if (!CutSegment(m_walkEnded))
            break;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_planningEnded) {
        m_buffer = std::vector<unsigned char>();
        m_walked.clear();
        return false;
    }
    return true;
}

// ---- Decoding ----------------------------------------------------------------

void SegmentedStream::WorkLoop()
{
    for (;;) {
        SegmentPtr s;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                if (m_cancelled)
                    return;
                for (SegmentPtr& c : m_segments)
                    if (!c->taken) {
                        s = c;
                        break;
                    }
                if (s)
                    break;
                m_jobs.wait(lock);
            }
            s->taken = true;
            if (!m_pool.empty()) {
                s->pcm = std::move(m_pool.back());
                m_pool.pop_back();
            }
        }
        Decode(*s);
        std::lock_guard<std::mutex> lock(m_mutex);
        s->done = true;
        if (s->clean)
            ++m_stats.decoded;
        m_done.notify_all();
    }
}

void SegmentedStream::Decode(Segment& s)
{
    int err = MPG123_OK;
    mpg123_handle* h = MpegStreamDecoder::NewHandle(&err);
    if (!h)
        return;
    s.handle = h;
    bool fed = mpg123_feed(h, s.bytes.data(), s.bytes.size()) == MPG123_OK;
    s.bytes = std::vector<unsigned char>();  // libmpg123 keeps its own copy
    if (!fed)
        return;
    PcmFormat format;
    size_t i = 0;
    s.out.reserve(s.frames.size() - s.warm);
    // libmpg123 decodes each frame straight into the segment's buffer, at
    // the end of what it holds (the warm-up frames all at its start, where
    // the first own frame then goes), rather than into a buffer of its own
    // that would then be copied. A frame never takes more than kFrameRoom.
    const size_t kFrameRoom = 1152 * 2 * 2;
    size_t room = (s.frames.size() - s.warm) * 1152 * 2 + kFrameRoom;
    if (s.pcm.size() < room)
        s.pcm.resize(room);
    size_t used = 0;
    for (;; ++i) {
        if (s.dropped)
            return;
        int rc = mpg123_framebyframe_next(h);
        if (rc == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            if (i != 0 || mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
                encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2 || rate <= 0)
                return;
            format.rate = rate;
            format.channels = channels;
            rc = MPG123_OK;
        }
        if (rc == MPG123_NEED_MORE)
            break;
        unsigned long header = 0;
        if (rc != MPG123_OK || format.channels == 0 || i >= s.frames.size() ||
            mpg123_framedata(h, &header, nullptr, nullptr) != MPG123_OK || header != s.frames[i].header)
            return;
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        if (mpg123_replace_buffer(h, s.pcm.data() + used, (s.pcm.size() - used) * sizeof(int16_t)) != MPG123_OK ||
            mpg123_framebyframe_decode(h, &num, &audio, &bytes) != MPG123_OK)
            return;
        DecodedFrame d;
        MpegStreamDecoder::Describe(h, format, s.base, &d.info, &d.bytes);
        if (d.info.position != s.frames[i].position || d.info.bytes != s.frames[i].bytes)
            return;
        if (i < s.warm)
            continue;
        d.format = format;
        d.header = static_cast<uint32_t>(header);
        size_t frames = audio ? bytes / (2u * static_cast<size_t>(format.channels)) : 0;
        const int16_t* samples = reinterpret_cast<const int16_t*>(audio);
        d.offset = used;
        d.count = frames * static_cast<size_t>(format.channels);
        if (d.count > s.pcm.size() - used)
            return;
        if (d.count && samples != s.pcm.data() + used)
            memmove(s.pcm.data() + used, samples, d.count * sizeof(int16_t));
        used += d.count;
        s.out.push_back(std::move(d));
    }
    s.format = format;
    s.clean = i == s.frames.size();
}

// ---- Joining -----------------------------------------------------------------

SegmentedStream::SegmentPtr SegmentedStream::WaitFor(size_t index)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_cancelled)
            throw PipelineCancelled();
        for (SegmentPtr& s : m_segments)
            if (s->index == index && s->done)
                return s;
        bool coming = !m_planningEnded;
        for (SegmentPtr& s : m_segments)
            coming = coming || s->index == index;
        if (!coming)
            return nullptr;
        m_done.wait(lock);
    }
}

bool SegmentedStream::Continues(const Segment& before, const Segment& after) const
{
    if (!after.clean || before.out.size() <= before.own)
        return false;
    size_t checked = before.out.size() - before.own;
    if (after.out.size() < checked || after.own < checked)
        return false;
    for (size_t j = 0; j < checked; ++j) {
        const DecodedFrame& a = before.out[before.own + j];
        const DecodedFrame& b = after.out[j];
        if (a.format != b.format || a.header != b.header || a.bytes != b.bytes ||
            a.info.position != b.info.position || a.info.bytes != b.info.bytes || !(a.info.key == b.info.key) ||
            a.count != b.count ||
            !std::equal(before.pcm.begin() + static_cast<ptrdiff_t>(a.offset),
                        before.pcm.begin() + static_cast<ptrdiff_t>(a.offset + a.count),
                        after.pcm.begin() + static_cast<ptrdiff_t>(b.offset)))
            return false;
    }
    return true;
}

void SegmentedStream::StopSegments(std::unique_lock<std::mutex>&)
{
    m_planningEnded = true;
    for (SegmentPtr& s : m_segments)
        if (s != m_current)
            s->dropped = true;
    m_segments.clear();
    m_room.notify_all();
    m_jobs.notify_all();
}

void SegmentedStream::Emit(const Segment& s, const DecodedFrame& d, MpegStreamDecoder::FedFrame& f)
{
    f.format = d.format;
    f.samples = s.pcm.data() + d.offset;
    f.frames = d.format.channels ? d.count / static_cast<size_t>(d.format.channels) : 0;
    f.header = d.header;
    f.bytes = d.bytes;
    f.info = d.info;
}

void SegmentedStream::Next(MpegStreamDecoder::FedFrame& f)
{
    for (;;) {
        switch (m_phase) {
        case kStart: {
            SegmentPtr s = WaitFor(0);
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!s || !s->clean) {
                // The decoder decodes the whole stream alone.
                if (s)
                    ++m_stats.fellBack;
                StopSegments(lock);
                m_phase = kAlone;
                f.own = true;
                return;
            }
            m_current = s;
            m_emitted = 0;
            m_phase = kOwn;
            continue;
        }
        case kOwn: {
            if (m_emitted < m_current->own) {
                Emit(*m_current, m_current->out[m_emitted++], f);
                return;
            }
            if (m_current->last)
                break;  // alone from its end on
            SegmentPtr next = WaitFor(m_current->index + 1);
            std::unique_lock<std::mutex> lock(m_mutex);
            if (next && Continues(*m_current, *next)) {
                ++m_stats.joined;
                m_segments.erase(std::find(m_segments.begin(), m_segments.end(), m_current));
                if (m_pool.size() < m_settings.inFlight)
                    m_pool.push_back(std::move(m_current->pcm));
                m_room.notify_one();
                m_current = next;
                m_emitted = 0;
                continue;
            }
            // This segment's handle goes on, through the frames it checked.
            ++m_stats.fellBack;
            StopSegments(lock);
            m_phase = kChecked;
            continue;
        }
        case kChecked:
            if (m_emitted < m_current->out.size()) {
                Emit(*m_current, m_current->out[m_emitted++], f);
                return;
            }
            break;
        case kAlone:
            f.own = true;
            return;
        }
        // The decoder takes the current segment's handle over.
        f.own = true;
        f.handle = m_current->handle;
        m_current->handle = nullptr;
        f.base = m_current->base;
        f.fedTo = m_current->end;
        m_phase = kAlone;
        std::unique_lock<std::mutex> lock(m_mutex);
        StopSegments(lock);
        m_current.reset();
        return;
    }
}

}  // namespace quorvan
