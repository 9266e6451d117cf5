// Decodes whole byte strings with the native-rate decoder, for the tests.
#ifndef QUORVAN_TESTS_DECODERS_STREAMDECODING_H
#define QUORVAN_TESTS_DECODERS_STREAMDECODING_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "MpegStreamDecoder.h"

namespace qvtest {

// A byte string as the decoder's input.
class MemorySource : public quorvan::ByteSource {
public:
    explicit MemorySource(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}
    size_t Read(void* buffer, size_t length, bool& end) override;
    size_t reads = 0;

private:
    const std::vector<unsigned char>& m_bytes;
    size_t m_pos = 0;
};

// What the native-rate decoder made of a stream.
struct NativeDecode {
    std::vector<quorvan::PcmFormat> formats;  // each format change, in order
    std::vector<size_t> formatStarts;         // frame index where each began
    std::vector<int16_t> samples;             // interleaved at the stream's channels
    std::vector<int16_t> stereo;              // the same with mono copied to L = R
    size_t frames = 0;
    int chunks = 0;
    int errors = 0;
    int calls = 0;
    bool ended = false;  // kEnd arrived within the call budget
};

NativeDecode DecodeNative(const std::vector<unsigned char>& bytes, int maxCalls = 1000000);

// Where the frames of a stream made by an encoder start (a stream of adjoining
// frames from its first byte, no tags, no free format), and after them the
// offset where the last one ends.
std::vector<size_t> FrameOffsets(const std::vector<unsigned char>& bytes);

// Such a stream with random junk after every `every`-th frame: minJunk to
// maxJunk bytes (a single byte is never 0xFF).
std::vector<unsigned char> WithJunkAfterFrames(const std::vector<unsigned char>& clean, size_t every, size_t minJunk,
                                               size_t maxJunk, unsigned seed);

// `n` random bytes, the same for the same seed.
std::vector<unsigned char> RandomBytes(size_t n, unsigned seed);

// An ID3v2.4 tag (with a footer when asked) whose body is `payload` random
// bytes with frame headers among them, as cover art may well hold.
std::vector<unsigned char> Id3v2Tag(size_t payload, bool footer, unsigned seed);

}  // namespace qvtest

#endif
