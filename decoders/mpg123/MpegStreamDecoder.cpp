#include "MpegStreamDecoder.h"

#include <mpg123.h>

#include <string.h>

namespace quorvan {

namespace {

// Failed libmpg123 steps in a row, with no new input, after which the decoder
// is started afresh on the following input instead of being asked again.
const int kStuckLimit = 4;

}  // namespace

MpegStreamDecoder::MpegStreamDecoder(ByteSource& source) : m_source(source) {}

MpegStreamDecoder::~MpegStreamDecoder()
{
    DestroyHandle();
}

int MpegStreamDecoder::Open()
{
    m_input.resize(kReadChunk);
    return CreateHandle();
}

int MpegStreamDecoder::CreateHandle()
{
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        return err != MPG123_OK ? err : MPG123_ERR;
    // Quiet; gapless trimming from the encoder's Info frame; tags skipped, not
    // parsed; no resampling of its own; resync through junk of any length.
    err = mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2, 0);
    if (err == MPG123_OK)
        err = mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0);
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
        return err;
    }
    m_handle = reinterpret_cast<mpg123_handle_struct*>(h);
    m_format = PcmFormat();
    m_stuck = 0;
    m_lastFill = 0;
    return MPG123_OK;
}

void MpegStreamDecoder::DestroyHandle()
{
    mpg123_handle* h = reinterpret_cast<mpg123_handle*>(m_handle);
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
    if (m_inputEnded || !m_handle)
        return false;
    size_t got = m_source.Read(m_input.data(), m_input.size(), m_inputEnded);
    if (got > m_input.size())
        got = m_input.size();
    if (got == 0) {
        m_inputEnded = true;
        return false;
    }
    m_stuck = 0;
    if (mpg123_feed(reinterpret_cast<mpg123_handle*>(m_handle), m_input.data(), got) != MPG123_OK)
        return ResetHandle();
    return true;
}

MpegStreamDecoder::Status MpegStreamDecoder::DecodeOne(PcmChunk* frame, FrameKey* key)
{
    for (;;) {
        mpg123_handle* h = reinterpret_cast<mpg123_handle*>(m_handle);
        if (!h)
            return kEnd;
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        int rc = mpg123_decode_frame(h, &num, &audio, &bytes);
        if (rc == MPG123_NEW_FORMAT) {
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
            continue;
        }
        if (rc == MPG123_NEED_MORE) {
            if (!FeedMore())
                return kEnd;
            continue;
        }
        if (rc == MPG123_DONE)
            return kEnd;
        if (rc != MPG123_OK || m_format.channels == 0) {
            // A frame libmpg123 could not get through. Ask again a few times
            // (it resyncs by itself), then start over on fresh input.
            long fill = 0;
            double unused = 0;
            if (mpg123_getstate(h, MPG123_BUFFERFILL, &fill, &unused) == MPG123_OK && fill < m_lastFill)
                m_stuck = 0;  // it moved on through the input
            m_lastFill = fill;
            if (++m_stuck >= kStuckLimit) {
                if (m_inputEnded || !ResetHandle())
                    return kEnd;
            }
            return kError;
        }
        m_stuck = 0;
        mpg123_frameinfo2 info;
        memset(&info, 0, sizeof info);
        if (mpg123_info2(h, &info) == MPG123_OK)
            m_frameBytes = info.framesize > 0 ? static_cast<uint32_t>(info.framesize) : 0;
        key->version = info.version;
        key->layer = info.layer;
        key->rate = m_format.rate;
        key->channels = m_format.channels;
        frame->format = m_format;
        frame->samples = reinterpret_cast<const int16_t*>(audio);
        frame->frames = audio ? bytes / (2u * static_cast<size_t>(m_format.channels)) : 0;
        return kAudio;
    }
}

void MpegStreamDecoder::ResetPending()
{
    m_pending.clear();
    m_pendingFrames = 0;
    m_runLength = 0;
    m_runKey = FrameKey();
    m_runFormat = PcmFormat();
}

MpegStreamDecoder::Status MpegStreamDecoder::NextBeforeSync(PcmChunk* chunk)
{
    for (;;) {
        PcmChunk frame;
        FrameKey key;
        Status s = DecodeOne(&frame, &key);
        if (s == kEnd) {
            // A stream too short for the full run still counts when every
            // frame up to its end agreed.
            if (m_runLength >= 2) {
                m_synced = true;
                break;
            }
            ResetPending();
            return kEnd;
        }
        if (s == kError) {
            ResetPending();
            return kError;
        }
        if (m_runLength > 0 && !(key == m_runKey))
            ResetPending();
        m_runKey = key;
        m_runFormat = frame.format;
        m_pending.insert(m_pending.end(), frame.samples,
                         frame.samples + frame.frames * static_cast<size_t>(frame.format.channels));
        m_pendingFrames += frame.frames;
        if (++m_runLength >= kSyncFrames) {
            m_synced = true;
            break;
        }
    }
    chunk->format = m_runFormat;
    chunk->samples = m_pending.data();
    chunk->frames = m_pendingFrames;
    m_pendingHandedOut = true;
    return kAudio;
}

MpegStreamDecoder::Status MpegStreamDecoder::Next(PcmChunk* chunk)
{
    if (!chunk)
        return kEnd;
    *chunk = PcmChunk();
    if (m_pendingHandedOut) {
        m_pendingHandedOut = false;
        ResetPending();
        m_pending.shrink_to_fit();
    }
    if (!m_synced)
        return NextBeforeSync(chunk);
    FrameKey key;
    return DecodeOne(chunk, &key);
}

int MpegStreamDecoder::FlushAndResync()
{
    ResetPending();
    m_pendingHandedOut = false;
    m_synced = false;
    m_frameBytes = 0;
    DestroyHandle();
    return CreateHandle();
}

}  // namespace quorvan
