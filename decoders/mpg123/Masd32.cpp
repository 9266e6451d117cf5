// masd32: the decoding module's entry points. Each one catches everything:
// no exception leaves the module.
#include <mpg123.h>
#include <soxr.h>

#include <new>

#include "MpegStreamDecoder.h"
#include "QuorvanDecoderModules.h"
#include "StereoResampler.h"

namespace {

using quorvan::MpegStreamDecoder;
using quorvan::PcmChunk;
using quorvan::StereoResampler;

// Stereo frames that fit the converter's sample buffer.
const size_t kBlockFrames = DECODER_SAMPLE_BUFFER_BYTES / (2 * sizeof(int16_t));

// The input, read through the converter's callback in large pieces. After the
// first short read the callback is not called again.
class CallbackSource : public quorvan::ByteSource {
public:
    explicit CallbackSource(DecoderReadCallback callback) : m_callback(callback) {}
    size_t Read(void* buffer, size_t length, bool& end) override
    {
        if (m_ended || length == 0) {
            end = m_ended;
            return 0;
        }
        uint32_t asked = length > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(length);
        uint32_t got = asked;
        int rc = m_callback(buffer, &got);
        if (got > asked)
            got = 0;  // a callback that claims more than asked is not believed
        if (rc != DECODER_OK || got < asked)
            m_ended = true;
        end = m_ended;
        return got;
    }

private:
    DecoderReadCallback m_callback;
    bool m_ended = false;
};

struct Instance {
    explicit Instance(DecoderReadCallback callback) : source(callback), decoder(source) {}

    CallbackSource source;
    MpegStreamDecoder decoder;
    StereoResampler output;
    bool syncReported = false;  // the empty block that reports the stream went out
    bool inputDone = false;     // the decoder reported its end; output drained
    bool failed = false;        // an internal failure was reported; end next
};

void EmptyBlock(PcmBlock* pcm)
{
    pcm->first = 0;
    pcm->second = 0;
}

int Decode(Instance& in, PcmBlock* pcm)
{
    EmptyBlock(pcm);
    if (in.failed)
        return DECODER_END;

    if (!in.syncReported) {
        PcmChunk chunk;
        switch (in.decoder.Next(&chunk)) {
        case MpegStreamDecoder::kEnd:
            in.inputDone = true;
            return DECODER_END;
        case MpegStreamDecoder::kError:
            return MASD_ERR_FRAME;
        case MpegStreamDecoder::kAudio:
            break;
        }
        if (!in.output.Push(chunk))
            return MASD_ERR_FRAME;
        in.syncReported = true;
        return DECODER_OK;
    }

    for (;;) {
        if (in.output.Available() >= kBlockFrames || (in.inputDone && in.output.Available() > 0)) {
            size_t frames = in.output.Take(static_cast<int16_t*>(pcm->samples), kBlockFrames);
            pcm->first = 2;
            pcm->second = static_cast<uint32_t>(frames);
            return DECODER_OK;
        }
        if (in.inputDone)
            return DECODER_END;
        PcmChunk chunk;
        switch (in.decoder.Next(&chunk)) {
        case MpegStreamDecoder::kEnd:
            in.output.Finish();
            in.inputDone = true;
            break;
        case MpegStreamDecoder::kError:
            return MASD_ERR_FRAME;
        case MpegStreamDecoder::kAudio:
            if (!in.output.Push(chunk))
                return MASD_ERR_FRAME;
            break;
        }
    }
}

}  // namespace

extern "C" MASD_EXPORT int CDECL masd_init(DecoderParams /*params*/, DecoderReadCallback callback,
                                           uint32_t* initWord, DecoderHandle* decoder)
{
    try {
        if (!decoder)
            return MASD_ERR_ARGUMENT;
        *decoder = nullptr;
        if (!callback)
            return MASD_ERR_ARGUMENT;
        if (initWord)
            *initWord = 0;
        Instance* instance = new (std::nothrow) Instance(callback);
        if (!instance)
            return MASD_ERR_MEMORY;
        if (instance->decoder.Open() != MPG123_OK) {
            delete instance;
            return MASD_ERR_DECODER;
        }
        *decoder = instance;
        return DECODER_OK;
    } catch (const std::bad_alloc&) {
        return MASD_ERR_MEMORY;
    } catch (...) {
        return MASD_ERR_DECODER;
    }
}

extern "C" MASD_EXPORT int CDECL masd_decode(uint32_t* frameWord, PcmBlock* pcm, AuxBlock* aux,
                                             DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    if (aux)
        aux->count = 0;
    // Without an instance or a buffer nothing can ever be delivered.
    if (!in || !pcm || !pcm->samples) {
        if (pcm)
            EmptyBlock(pcm);
        return DECODER_END;
    }
    int rc;
    try {
        rc = Decode(*in, pcm);
    } catch (...) {
        // Report the failure once, with an empty block, then end the stream.
        EmptyBlock(pcm);
        in->failed = true;
        rc = MASD_ERR_FRAME;
    }
    if (frameWord)
        *frameWord = in->decoder.FrameHeader();
    return rc;
}

extern "C" MASD_EXPORT int CDECL masd_close(DecoderHandle* decoder)
{
    if (!decoder)
        return DECODER_OK;
    Instance* in = static_cast<Instance*>(*decoder);
    *decoder = nullptr;
    try {
        delete in;
    } catch (...) {
    }
    return DECODER_OK;
}

extern "C" MASD_EXPORT uint32_t CDECL masd_getFrameSize(DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    return in ? in->decoder.FrameBytes() : 0;
}

extern "C" MASD_EXPORT int CDECL masd_flushAndResync(DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    if (!in)
        return MASD_ERR_ARGUMENT;
    try {
        in->output.Reset();
        in->inputDone = false;
        in->failed = false;
        if (in->decoder.FlushAndResync() != MPG123_OK)
            return MASD_ERR_DECODER;
        return DECODER_OK;
    } catch (...) {
        in->failed = true;
        return MASD_ERR_DECODER;
    }
}

#define QV_STR2(x) #x
#define QV_STR(x) QV_STR2(x)

extern "C" MASD_EXPORT const char* CDECL masd_versionString(void)
{
    return "masd32 " QUORVAN_MODULE_VERSION " (libmpg123 API " QV_STR(MPG123_API_VERSION)
           ", libsoxr " SOXR_THIS_VERSION_STR ")";
}
