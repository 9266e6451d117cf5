#include "MpegStreamDecoder.h"

#include <mpg123.h>

#include <math.h>
#include <string.h>

#include <algorithm>

#include "FrameHeader.h"

namespace quorvan {

namespace {

// Failed libmpg123 steps in a row, with no progress through its input, after
// which it is started afresh on the following input.
const int kStuckLimit = 4;
// Bytes kept back from each feed so that the scanner can look past the last
// position it examines.
const size_t kLookahead = InfoFrameScanner::kLookahead;
// A libmpg123 internal: its synthesis filter bank puts out each sample 529
// samples late (the 528 of its polyphase filter, plus one), so its decode of
// a stream lags the encoder's input by the encoder delay plus these 529. The
// delay an Info frame gives does not include them. Used where the encoder
// delay and padding are trimmed (StartPart); the tests
// hold the trimmed decode against the encoder's input, sample for sample.
const size_t kDecoderDelay = 529;

// libmpg123 writes a line to stderr, whatever its quiet flag says, when it
// decodes an MPEG-1 Layer II joint-stereo frame whose stereo bound lies above
// the last subband its bitrate codes (8 subbands, 12 at 32 kHz). Encoders do
// not write such frames; look-alike headers in junk or inside damaged frames
// do. Such frames are skipped, not decoded.
bool WouldWarnAboutStereoBound(uint32_t header)
{
    FrameHeader h;
    if (!ParseFrameHeader(header, &h) || h.version != 1 || h.layer != 2 || h.mode != 1)
        return false;
    unsigned bitrateIndex = (header >> 12) & 15;
    if (bitrateIndex < 1 || bitrateIndex > 6)
        return false;  // enough subbands for any bound
    int codedSubbands = h.sampleRate == 32000 ? 12 : 8;
    return (h.modeExtension + 1) * 4 > codedSubbands;
}

}  // namespace

MpegStreamDecoder::MpegStreamDecoder(ByteSource& source) : m_source(source) {}

MpegStreamDecoder::~MpegStreamDecoder()
{
    DestroyHandle();
}

int MpegStreamDecoder::Open()
{
    m_input.resize(kReadChunk + kLookahead);
    return CreateHandle();
}

mpg123_handle* MpegStreamDecoder::NewHandle(int* errOut)
{
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) {
        *errOut = err != MPG123_OK ? err : MPG123_ERR;
        return nullptr;
    }
    // Quiet; tags skipped, not parsed; no resampling of its own; resync
    // through junk of any length.
    //
    // Every frame found is decoded, the first one too: libmpg123 would
    // otherwise take a first frame only when the next one adjoins it, which
    // no frame of a stream with junk after each frame does. The confirmation
    // here is what guards against false frames (see Next). Free-format frames
    // need libmpg123's look-ahead to find their length; it is turned back on
    // when they turn up (see FeedMore).
    //
    // Info frames are decoded as the frames of silence they are, and dropped
    // here: libmpg123 only honours one that is the first frame it takes.
    // Gapless trimming is done here too (see Emit), relative to the stream's
    // real end, so that frames lost to damage or junk taken for frames cannot
    // shift where the end is cut.
    err = mpg123_param(h, MPG123_ADD_FLAGS,
                       MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME, 0);
    if (err == MPG123_OK)
        err = mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE | MPG123_GAPLESS, 0);
    if (err == MPG123_OK)
        err = mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    // Every rate at its own value, mono or stereo, signed 16-bit.
    if (err == MPG123_OK)
        err = mpg123_format_none(h);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; err == MPG123_OK && i < count; ++i)
        err = mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (err == MPG123_OK)
        err = mpg123_open_feed(h);
    if (err != MPG123_OK) {
        mpg123_delete(h);
        *errOut = err;
        return nullptr;
    }
    return h;
}

int MpegStreamDecoder::CreateHandle()
{
    int err = MPG123_OK;
    mpg123_handle* h = NewHandle(&err);
    if (!h)
        return err;
    m_handle = h;
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
    m_last = FrameInfo();
    m_anchored = false;
    m_anchor = FrameInfo();
    return MPG123_OK;
}

bool MpegStreamDecoder::Adopt(const FedFrame& f)
{
    DestroyHandle();
    m_handle = f.handle;
    m_positionBase = f.base;
    // It decoded into its segment's buffer, which goes with the segment.
    m_adoptedOutput.assign(std::max<size_t>(mpg123_outblock(m_handle), 1152 * 2 * 2 * 2), 0);
    if (mpg123_replace_buffer(m_handle, m_adoptedOutput.data(), m_adoptedOutput.size()) != MPG123_OK)
        return ResetHandle();
    // It has all that was fed up to fedTo; the rest of what this decoder fed
    // (nothing was dropped before fedTo, so offsets agree) follows.
    bool ok = f.fedTo <= m_fedEnd && f.fedTo >= m_unfedStart &&
              m_fedEnd - m_unfedStart == static_cast<int64_t>(m_unfed.size());
    if (ok && m_readahead)
        ok = mpg123_param(m_handle, MPG123_REMOVE_FLAGS, MPG123_NO_READAHEAD, 0) == MPG123_OK;
    size_t from = ok ? static_cast<size_t>(f.fedTo - m_unfedStart) : 0;
    if (ok && from < m_unfed.size())
        ok = mpg123_feed(m_handle, m_unfed.data() + from, m_unfed.size() - from) == MPG123_OK;
    m_unfed = std::vector<unsigned char>();
    if (!ok)
        return ResetHandle();
    return true;
}

bool MpegStreamDecoder::SkipsFrame(uint32_t header)
{
    return WouldWarnAboutStereoBound(header);
}

void MpegStreamDecoder::Describe(mpg123_handle* h, const PcmFormat& format, int64_t base, FrameInfo* info,
                                 uint32_t* frameBytes)
{
    mpg123_frameinfo2 fi;
    memset(&fi, 0, sizeof fi);
    mpg123_info2(h, &fi);
    *frameBytes = fi.framesize > 0 ? static_cast<uint32_t>(fi.framesize) : 0;
    info->key.version = fi.version;
    info->key.layer = fi.layer;
    info->key.rate = format.rate;
    info->key.channels = format.channels;
    info->key.modeClass = fi.mode == MPG123_M_JOINT ? MPG123_M_STEREO : fi.mode;
    info->key.flags = fi.flags & (MPG123_CRC | MPG123_COPYRIGHT | MPG123_ORIGINAL);
    info->key.emphasis = fi.emphasis;
    info->key.freeFormat = fi.bitrate == 0;
    info->position = static_cast<int64_t>(mpg123_framepos(h)) + base;
    info->bytes = fi.framesize;
}

void MpegStreamDecoder::DestroyHandle()
{
    mpg123_handle* h = m_handle;
    m_handle = nullptr;
    if (h) {
        mpg123_close(h);
        mpg123_delete(h);
    }
}

bool MpegStreamDecoder::ResetHandle()
{
    DestroyHandle();
    return CreateHandle() == MPG123_OK;
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
        m_readahead = mpg123_param(m_handle, MPG123_REMOVE_FLAGS, MPG123_NO_READAHEAD, 0) == MPG123_OK;
    // Free-format frames cannot be followed by their lengths: junk is left
    // to libmpg123 then.
    if (!m_readahead) {
        m_junk.Filter(m_input.data(), &size, &feed, kMaxGapBytes);
        keep = size - feed;
    }
    m_infoScanner.Scan(m_input.data(), size, feed);
    m_stuck = 0;
    if (feed > 0 && m_feed) {
        m_unfedStart = m_fedEnd;
        m_unfed.assign(m_input.data(), m_input.data() + feed);
    } else if (feed > 0 && mpg123_feed(m_handle, m_input.data(), feed) != MPG123_OK) {
        m_carry = 0;
        return ResetHandle();
    }
    m_fedEnd += static_cast<int64_t>(feed);
    memmove(m_input.data(), m_input.data() + feed, keep);
    m_carry = keep;
    return feed > 0 || !m_inputEnded;
}

MpegStreamDecoder::Status MpegStreamDecoder::DecodeOne(PcmChunk* frame, FrameInfo* info)
{
    for (;;) {
        mpg123_handle* h = m_handle;
        if (!h)
            return kEnd;
        if (m_feed) {
            m_fed = FedFrame();
            m_feed->Next(m_fed);
            if (m_fed.own) {
                m_feed = nullptr;
                if (m_fed.handle && !Adopt(m_fed))
                    return kEnd;
                continue;
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
            return kAudio;
        }
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        // Frame by frame: parse the next frame, look at its header, decode it.
        int rc = mpg123_framebyframe_next(h);
        if (rc == MPG123_NEW_FORMAT) {
            // The frame is parsed; its format applies from it on.
            long rate = 0;
            int channels = 0, encoding = 0;
            if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
                encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2 || rate <= 0) {
                if (!ResetHandle())
                    return kEnd;
                return kError;
            }
            m_format.rate = rate;
            m_format.channels = channels;
            rc = MPG123_OK;
        }
        if (rc == MPG123_OK) {
            unsigned long header = 0;
            if (mpg123_framedata(h, &header, nullptr, nullptr) == MPG123_OK &&
                WouldWarnAboutStereoBound(static_cast<uint32_t>(header)))
                return kError;
            rc = mpg123_framebyframe_decode(h, &num, &audio, &bytes);
            if (rc == MPG123_OK)
                m_frameHeader = static_cast<uint32_t>(header);
        }
        if (rc == MPG123_NEED_MORE) {
            if (!FeedMore())
                return kEnd;
            continue;
        }
        if (rc == MPG123_DONE)
            return kEnd;
        if (rc != MPG123_OK || m_format.channels == 0) {
            // A frame libmpg123 could not get through. Ask again while it
            // moves on through its input (it resyncs by itself), else start
            // over on fresh input.
            long fill = 0;
            double unused = 0;
            if (mpg123_getstate(h, MPG123_BUFFERFILL, &fill, &unused) == MPG123_OK && fill < m_lastFill)
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
        m_stuck = 0;
        Describe(h, m_format, m_positionBase, info, &m_frameBytes);
        TakeJunkBefore(info);
        frame->format = m_format;
        frame->samples = reinterpret_cast<const int16_t*>(audio);
        frame->frames = audio ? bytes / (2u * static_cast<size_t>(m_format.channels)) : 0;
        return kAudio;
    }
}

void MpegStreamDecoder::TakeJunkBefore(FrameInfo* info)
{
    std::deque<DroppedJunk>& junk = m_junk.dropped();
    while (!junk.empty() && junk.front().offset < info->position)
        junk.pop_front();
    info->junkBefore = !junk.empty() && junk.front().offset == info->position ? junk.front().bytes : 0;
}

void MpegStreamDecoder::TakeInfoFrame(const InfoFrame& tag)
{
    if (!m_trimSetUp) {
        m_trimSetUp = true;
        StartPart(tag);
    } else if (m_anchored && m_runLength == 0) {
        StartPart(tag);
    }
}

void MpegStreamDecoder::StartPart(const InfoFrame& tag)
{
    m_hold = Block();
    bool known = tag.delay >= 0 && tag.padding >= 0;
    m_skipStart = known ? static_cast<size_t>(tag.delay) + kDecoderDelay : 0;
    m_endTrim = known && static_cast<size_t>(tag.padding) > kDecoderDelay
                    ? static_cast<size_t>(tag.padding) - kDecoderDelay
                    : 0;
}

void MpegStreamDecoder::Emit(const PcmFormat& format, const int16_t* samples, size_t frames)
{
    size_t channels = static_cast<size_t>(format.channels);
    size_t skip = std::min(frames, m_skipStart);
    m_skipStart -= skip;
    samples += skip * channels;
    frames -= skip;
    if (frames == 0)
        return;
    bool holding = !m_hold.samples.empty();
    if (m_endTrim == 0 || (holding && m_hold.format != format)) {
        // No padding to trim, or the stream changed format: nothing is held.
        if (holding)
            m_ready.push_back(std::move(m_hold));
        m_hold = Block();
        m_endTrim = 0;
        Block b;
        b.format = format;
        b.samples.assign(samples, samples + frames * channels);
        m_ready.push_back(std::move(b));
        return;
    }
    // m_hold keeps the last m_endTrim frames seen (or fewer, at the start);
    // what comes before them goes out, each sample copied once.
    m_hold.format = format;
    size_t held = m_hold.Frames();
    if (held + frames <= m_endTrim) {
        m_hold.samples.insert(m_hold.samples.end(), samples, samples + frames * channels);
        return;
    }
    size_t out = held + frames - m_endTrim;
    size_t fromHold = std::min(out, held), fromNew = out - fromHold;
    Block b;
    b.format = format;
    b.samples.reserve(out * channels);
    b.samples.assign(m_hold.samples.begin(), m_hold.samples.begin() + static_cast<ptrdiff_t>(fromHold * channels));
    b.samples.insert(b.samples.end(), samples, samples + fromNew * channels);
    m_hold.samples.erase(m_hold.samples.begin(), m_hold.samples.begin() + static_cast<ptrdiff_t>(fromHold * channels));
    m_hold.samples.insert(m_hold.samples.end(), samples + fromNew * channels, samples + frames * channels);
    m_ready.push_back(std::move(b));
}

int MpegStreamDecoder::FramesToConfirm(const FrameKey& key)
{
    // MPEG-2.5 exists for Layer III only: the other layers at its rates are
    // what tables of records in a program look like.
    bool unlikely = key.layer == 1 || key.freeFormat || key.emphasis != 0 || (key.version == MPG123_2_5 && key.layer != 3);
    return unlikely ? kConfirmUnlikelyFrames : kConfirmFrames;
}

int64_t MpegStreamDecoder::GapTo(const FrameInfo& prev, const FrameInfo& next, int64_t chainBytes,
                                 bool anyAdjoining)
{
    if (prev.position < 0)
        return -1;
    int64_t gap = next.position - (prev.position + prev.bytes);
    if (gap >= 0)
        gap += next.junkBefore;
    if (gap == 0 && anyAdjoining)
        return 0;
    if (gap < 0 || !(next.key == prev.key))
        return -1;
    if (next.key.freeFormat && (next.bytes > chainBytes + 1 || next.bytes + 1 < chainBytes))
        return -1;
    bool gapsAllowed = FramesToConfirm(next.key) == kConfirmFrames;
    return gap == 0 || (gapsAllowed && gap <= kMaxGapBytes) ? gap : -1;
}

void MpegStreamDecoder::EmitRun()
{
    m_trimSetUp = true;
    Emit(m_run.format, m_run.samples.data(), m_run.Frames());
}

void MpegStreamDecoder::ClearRun()
{
    m_run = Block();
    m_runLength = 0;
    m_runWeight = 0;
    m_runKey = FrameKey();
}

MpegStreamDecoder::Status MpegStreamDecoder::Next(PcmChunk* chunk)
{
    if (!chunk)
        return kEnd;
    *chunk = PcmChunk();
    m_handedOut = Block();
    for (;;) {
        if (!m_ready.empty()) {
            m_handedOut = std::move(m_ready.front());
            m_ready.pop_front();
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
            // A run cut short by the end of a short stream still counts when
            // it has more than one frame (three for the unlikely kinds). What
            // is held at the end is the encoder's padding.
            int shortRun = FramesToConfirm(m_runKey) > kConfirmFrames ? 3 : 2;
            if (m_runLength >= shortRun && m_runWeight >= shortRun - 1)
                EmitRun();
            ClearRun();
            m_hold = Block();
            DestroyHandle();
            continue;
        }
        if (s == kError) {
            // The frames held back no longer form a run; a confirmed chain
            // may still go on after the frame that failed.
            ClearRun();
            m_last = FrameInfo();
            return kError;
        }

        // An Info frame (found by the scanner where libmpg123 decoded a
        // frame) is no audio; it still belongs to the chain of frames.
        std::deque<InfoFrame>& tags = m_infoScanner.found();
        while (!tags.empty() && tags.front().offset < info.position)
            tags.pop_front();
        if (!tags.empty() && tags.front().offset == info.position) {
            frame.frames = 0;
            TakeInfoFrame(tags.front());
            tags.pop_front();
        }

        if (m_anchored && GapTo(m_anchor, info, m_anchorFrameBytes, true) >= 0) {
            // Whatever was held back since was junk taken for frames.
            ClearRun();
            m_anchor = info;
            m_last = info;
            Emit(frame.format, frame.samples, frame.frames);
            continue;
        }
        bool dropped = false;
        if (m_runLength > 0) {
            int64_t gap = GapTo(m_last, info, m_runFrameBytes, false);
            if (gap < 0) {
                ClearRun();
                dropped = true;
            } else {
                m_runWeight += 1.0 - log2(1.0 + static_cast<double>(gap)) / kGapBitsPerFrame;
            }
        }
        m_last = info;
        m_run.format = frame.format;
        m_run.samples.insert(m_run.samples.end(), frame.samples,
                             frame.samples + frame.frames * static_cast<size_t>(frame.format.channels));
        m_runKey = info.key;
        if (m_runLength == 0)
            m_runFrameBytes = info.bytes;
        int needed = FramesToConfirm(info.key);
        if (++m_runLength >= needed && m_runWeight >= needed - 1) {
            EmitRun();
            m_anchored = true;
            m_anchor = info;
            m_anchorFrameBytes = m_runFrameBytes;
            ClearRun();
            continue;
        }
        if (dropped)
            return kError;
    }
}

int MpegStreamDecoder::FlushAndResync()
{
    m_feed = nullptr;
    m_unfed = std::vector<unsigned char>();
    ClearRun();
    m_frameBytes = 0;
    m_frameHeader = 0;
    m_carry = 0;
    m_hold = Block();
    m_endTrim = 0;
    m_skipStart = 0;
    m_ready.clear();
    m_handedOut = Block();
    DestroyHandle();
    return CreateHandle();
}

}  // namespace quorvan
