#include "Mpg123Handle.h"

#include <mpg123.h>
#include <string.h>

#include <algorithm>

namespace quorvan {

namespace {

int SetUp(mpg123_handle* h)
{
    // Quiet; tags skipped, not parsed; no resampling of its own; resync
    // through junk of any length.
    //
    // Every frame found is decoded, the first one too: libmpg123 would
    // otherwise take a first frame only when the next one adjoins it, which
    // no frame of a stream with junk after each frame does. The chain
    // confirmation is what guards against false frames (see FrameChain).
    // Free-format frames need libmpg123's look-ahead to find their length;
    // it is turned back on when they turn up (see LookAhead).
    //
    // Info frames are decoded as the frames of silence they are, and dropped
    // by the stream's decoder: libmpg123 only honours one that is the first
    // frame it takes. Gapless trimming is done there too (see GaplessTrim),
    // relative to the stream's real end, so that frames lost to damage or
    // junk taken for frames cannot shift where the end is cut.
    int err = mpg123_param(h, MPG123_ADD_FLAGS,
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
    return err;
}

// The format of the frame just parsed, when it is one the engine takes.
bool NewFormat(mpg123_handle* h, PcmFormat* format)
{
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || encoding != MPG123_ENC_SIGNED_16 ||
        channels < 1 || channels > 2 || rate <= 0)
        return false;
    format->rate = rate;
    format->channels = channels;
    return true;
}

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

bool Accepts(const FrameExpectation& expect, bool known, unsigned long header, const PcmFormat& format)
{
    if (expect.planned)
        return known && header == expect.header && format.channels != 0;
    return !known || !WouldWarnAboutStereoBound(static_cast<uint32_t>(header));
}

}  // namespace

Mpg123Handle& Mpg123Handle::operator=(Mpg123Handle&& o) noexcept
{
    if (this != &o) {
        Close();
        m_handle = o.m_handle;
        o.m_handle = nullptr;
    }
    return *this;
}

int Mpg123Handle::Open()
{
    Close();
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        return err != MPG123_OK ? err : MPG123_ERR;
    err = SetUp(h);
    if (err != MPG123_OK) {
        mpg123_delete(h);
        return err;
    }
    m_handle = h;
    return MPG123_OK;
}

void Mpg123Handle::Close()
{
    mpg123_handle* h = m_handle;
    m_handle = nullptr;
    if (h) {
        mpg123_close(h);
        mpg123_delete(h);
    }
}

bool Mpg123Handle::Feed(const unsigned char* bytes, size_t size)
{
    return mpg123_feed(m_handle, bytes, size) == MPG123_OK;
}

bool Mpg123Handle::LookAhead()
{
    return mpg123_param(m_handle, MPG123_REMOVE_FLAGS, MPG123_NO_READAHEAD, 0) == MPG123_OK;
}

bool Mpg123Handle::UseBuffer(std::vector<unsigned char>& buffer)
{
    // Twice the largest frame, should libmpg123 want more room.
    buffer.assign(std::max<size_t>(mpg123_outblock(m_handle), kMaxFrameSamples * sizeof(int16_t) * 2), 0);
    return mpg123_replace_buffer(m_handle, buffer.data(), buffer.size()) == MPG123_OK;
}

bool Mpg123Handle::BufferFill(long* fill) const
{
    *fill = 0;
    double unused = 0;
    return mpg123_getstate(m_handle, MPG123_BUFFERFILL, fill, &unused) == MPG123_OK;
}

bool Mpg123Handle::SkipsFrame(uint32_t header)
{
    return WouldWarnAboutStereoBound(header);
}

Mpg123Handle::Step Mpg123Handle::DecodeNextFrame(PcmFormat& format, const FrameExpectation& expect, Mpg123Frame* out)
{
    mpg123_handle* h = m_handle;
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    int rc = mpg123_framebyframe_next(h);
    if (rc == MPG123_NEW_FORMAT) {
        // The frame is parsed; its format applies from it on.
        if (!expect.formatMayChange || !NewFormat(h, &format))
            return kBadFormat;
        rc = MPG123_OK;
    }
    if (rc == MPG123_OK) {
        unsigned long header = 0;
        bool known = mpg123_framedata(h, &header, nullptr, nullptr) == MPG123_OK;
        if (!Accepts(expect, known, header, format))
            return kRefused;
        if (expect.into && mpg123_replace_buffer(h, expect.into, expect.room * sizeof(int16_t)) != MPG123_OK)
            return kFailed;
        rc = mpg123_framebyframe_decode(h, &num, &audio, &bytes);
        if (rc == MPG123_OK)
            out->header = static_cast<uint32_t>(header);
    }
    if (rc == MPG123_NEED_MORE)
        return kNeedMore;
    if (rc == MPG123_DONE)
        return kDone;
    if (rc != MPG123_OK || format.channels == 0)
        return kFailed;
    out->samples = reinterpret_cast<const int16_t*>(audio);
    out->frames = audio ? bytes / (2u * static_cast<size_t>(format.channels)) : 0;
    return kDecoded;
}

void Mpg123Handle::Describe(const PcmFormat& format, int64_t base, FrameInfo* info, uint32_t* frameBytes) const
{
    mpg123_frameinfo2 fi;
    memset(&fi, 0, sizeof fi);
    mpg123_info2(m_handle, &fi);
    *frameBytes = fi.framesize > 0 ? static_cast<uint32_t>(fi.framesize) : 0;
    FrameKind& k = info->kind;
    k.sync = true;
    k.version = fi.version == MPG123_1_0 ? 1 : fi.version == MPG123_2_0 ? 2 : fi.version == MPG123_2_5 ? 25 : -1;
    k.layer = fi.layer;
    k.sampleRate = format.rate;
    k.channels = format.channels;
    k.mode = fi.mode;
    k.crc = (fi.flags & MPG123_CRC) != 0;
    k.copyright = (fi.flags & MPG123_COPYRIGHT) != 0;
    k.original = (fi.flags & MPG123_ORIGINAL) != 0;
    k.emphasis = fi.emphasis;
    k.freeFormat = fi.bitrate == 0;
    info->position = static_cast<int64_t>(mpg123_framepos(m_handle)) + base;
    info->bytes = fi.framesize;
}

}  // namespace quorvan
