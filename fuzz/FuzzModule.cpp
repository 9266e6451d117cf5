// The masd32 decoder alone, driven through its entry points the way the
// converter drives it, with every block checked against the module contract.
// The module's code is linked in, so it is instrumented with this target.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "FuzzCheck.h"
#include "QuorvanDecoderModules.h"

namespace {

// The read callback has no context argument.
const uint8_t* g_data;
size_t g_size, g_pos;

int CDECL Read(void* buffer, uint32_t* length)
{
    size_t n = *length < g_size - g_pos ? *length : g_size - g_pos;
    if (n)
        memcpy(buffer, g_data + g_pos, n);
    g_pos += n;
    bool all = n == *length;
    *length = static_cast<uint32_t>(n);
    return all ? DECODER_OK : DECODER_READ_SHORT;
}

const unsigned char kGuard = 0xA5;
const size_t kGuardBytes = 256;

void CheckGuard(const std::vector<unsigned char>& buffer, size_t used, const char* which)
{
    for (size_t i = used; i < buffer.size(); ++i)
        FUZZ_CHECK(buffer[i] == kGuard, "the %s buffer was written %zu bytes past its end", which, i - used + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_data = data;
    g_size = size;
    g_pos = 0;
    const DecoderParams params = {{1, 0, 0, 0, 141, 0}};
    uint32_t initWord = 0xDEADBEEF;
    DecoderHandle decoder = nullptr;
    int rc = masd_init(params, Read, &initWord, &decoder);
    if (rc != DECODER_OK) {
        FUZZ_CHECK(!decoder, "masd_init returned %d but handed out an instance", rc);
        return 0;
    }
    FUZZ_CHECK(decoder && initWord == 0, "masd_init succeeded without an instance or a zero word");

    std::vector<unsigned char> samples(DECODER_SAMPLE_BUFFER_BYTES + kGuardBytes, kGuard);
    std::vector<unsigned char> aux(DECODER_AUX_BUFFER_BYTES + kGuardBytes, kGuard);
    // A decoder that needs more calls than this for the input it was given
    // is taken to hang: no frame is shorter than a few bytes, and the tail
    // of resampled output takes a handful of calls.
    const size_t maxCalls = 1000 + 16 * size;
    bool reported = false;
    uint32_t frameWord = 0;
    for (size_t calls = 1;; ++calls) {
        FUZZ_CHECK(calls <= maxCalls, "no end after %zu calls for %zu bytes of input (a hang)", maxCalls, size);
        // Values the decoder must overwrite on every call.
        PcmBlock pcm = {0xFFFFu, 0xFFFFu, samples.data()};
        AuxBlock side = {0xFFFFu, aux.data()};
        rc = masd_decode(&frameWord, &pcm, &side, decoder);
        CheckGuard(samples, DECODER_SAMPLE_BUFFER_BYTES, "sample");
        CheckGuard(aux, DECODER_AUX_BUFFER_BYTES, "side data");
        if (rc == DECODER_END)
            break;
        uint64_t bytes = 2ull * pcm.first * pcm.second;
        FUZZ_CHECK(pcm.samples == samples.data(), "the block points elsewhere");
        FUZZ_CHECK(side.count <= DECODER_AUX_BUFFER_BYTES, "side data of %u bytes", side.count);
        FUZZ_CHECK(bytes <= DECODER_SAMPLE_BUFFER_BYTES, "a block of %llu bytes", (unsigned long long)bytes);
        if (rc == MASD_ERR_FRAME) {
            FUZZ_CHECK(bytes == 0, "a skip with %llu bytes", (unsigned long long)bytes);
        } else {
            FUZZ_CHECK(rc == DECODER_OK, "masd_decode returned %d", rc);
            if (!reported)
                FUZZ_CHECK(bytes == 0, "the first block holds %llu bytes", (unsigned long long)bytes);
            else
                FUZZ_CHECK(pcm.first == 2 && pcm.second > 0, "a block of %u x %u", pcm.first, pcm.second);
            reported = true;
        }
    }
    PcmBlock pcm = {0, 0, samples.data()};
    AuxBlock side = {0, aux.data()};
    FUZZ_CHECK(masd_decode(&frameWord, &pcm, &side, decoder) == DECODER_END, "the end is not final");
    FUZZ_CHECK(masd_close(&decoder) == 0 && !decoder, "masd_close left the instance");
    return 0;
}
