// The input of a decoder instance, read through the converter's callback in
// the pieces the decoder asks for. After the first short read the callback is
// not called again.
#ifndef QUORVAN_DECODERS_CALLBACKSOURCE_H
#define QUORVAN_DECODERS_CALLBACKSOURCE_H

#include "DecoderApi.h"
#include "MpegStreamDecoder.h"

namespace quorvan {

class CallbackSource : public ByteSource {
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

}  // namespace quorvan

#endif
