#include "StreamDecoding.h"

#include <string.h>

#include <algorithm>
#include <random>

#include "FrameHeader.h"

namespace qvtest {

size_t MemorySource::Read(void* buffer, size_t length, bool& end)
{
    ++reads;
    size_t n = std::min(length, m_bytes.size() - m_pos);
    if (n)
        memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    end = m_pos >= m_bytes.size();
    return n;
}

NativeDecode DecodeNative(const std::vector<unsigned char>& bytes, int maxCalls)
{
    NativeDecode out;
    MemorySource source(bytes);
    quorvan::MpegStreamDecoder decoder(source);
    if (decoder.Open() != 0)
        return out;
    while (out.calls < maxCalls) {
        ++out.calls;
        quorvan::PcmChunk chunk;
        quorvan::MpegStreamDecoder::Status s = decoder.Next(&chunk);
        if (s == quorvan::MpegStreamDecoder::kEnd) {
            out.ended = true;
            break;
        }
        if (s == quorvan::MpegStreamDecoder::kError) {
            ++out.errors;
            continue;
        }
        ++out.chunks;
        if (out.formats.empty() || out.formats.back() != chunk.format) {
            out.formats.push_back(chunk.format);
            out.formatStarts.push_back(out.frames);
        }
        size_t values = chunk.frames * static_cast<size_t>(chunk.format.channels);
        out.samples.insert(out.samples.end(), chunk.samples, chunk.samples + values);
        for (size_t i = 0; i < chunk.frames; ++i) {
            const int16_t* f = chunk.samples + i * static_cast<size_t>(chunk.format.channels);
            out.stereo.push_back(f[0]);
            out.stereo.push_back(chunk.format.channels > 1 ? f[1] : f[0]);
        }
        out.frames += chunk.frames;
    }
    return out;
}

std::vector<size_t> FrameOffsets(const std::vector<unsigned char>& bytes)
{
    std::vector<size_t> offsets;
    size_t pos = 0;
    quorvan::FrameHeader h;
    while (pos + 4 <= bytes.size()) {
        uint32_t header = quorvan::HeaderAt(bytes.data() + pos);
        uint32_t length = quorvan::ParseFrameHeader(header, &h) ? quorvan::FrameBytes(h) : 0;
        if (length == 0 || pos + length > bytes.size())
            break;
        offsets.push_back(pos);
        pos += length;
    }
    offsets.push_back(pos);
    return offsets;
}

std::vector<unsigned char> WithJunkAfterFrames(const std::vector<unsigned char>& clean, size_t every, size_t minJunk,
                                               size_t maxJunk, unsigned seed)
{
    std::vector<size_t> frames = FrameOffsets(clean);
    std::mt19937 rng(seed);
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        out.insert(out.end(), clean.begin() + static_cast<ptrdiff_t>(frames[i]),
                   clean.begin() + static_cast<ptrdiff_t>(frames[i + 1]));
        if ((i + 1) % every != 0)
            continue;
        size_t n = minJunk + rng() % (maxJunk - minJunk + 1);
        for (size_t k = 0; k < n; ++k)
            out.push_back(static_cast<unsigned char>(n == 1 ? rng() % 255 : rng()));
    }
    out.insert(out.end(), clean.begin() + static_cast<ptrdiff_t>(frames.back()), clean.end());
    return out;
}

std::vector<unsigned char> RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> b(n);
    for (unsigned char& c : b)
        c = static_cast<unsigned char>(rng());
    return b;
}

std::vector<unsigned char> Id3v2Tag(size_t payload, bool footer, unsigned seed)
{
    // The payload is random bytes sprinkled with frame headers, as cover art
    // may well contain.
    std::vector<unsigned char> body = RandomBytes(payload, seed);
    for (size_t i = 0; i + 4 < body.size(); i += 417) {
        body[i] = 0xFF;
        body[i + 1] = 0xFB;
        body[i + 2] = 0x90;
        body[i + 3] = 0x64;
    }
    // Sizes are syncsafe: 7 bits a byte. Unsynchronisation is not used, so the
    // body may hold 0xFF bytes.
    auto syncsafe = [](size_t n) {
        return std::vector<unsigned char>{static_cast<unsigned char>((n >> 21) & 0x7F),
                                          static_cast<unsigned char>((n >> 14) & 0x7F),
                                          static_cast<unsigned char>((n >> 7) & 0x7F),
                                          static_cast<unsigned char>(n & 0x7F)};
    };
    std::vector<unsigned char> tag = {'I', 'D', '3', 4, 0, static_cast<unsigned char>(footer ? 0x10 : 0)};
    std::vector<unsigned char> size = syncsafe(body.size());
    tag.insert(tag.end(), size.begin(), size.end());
    tag.insert(tag.end(), body.begin(), body.end());
    if (footer) {
        std::vector<unsigned char> f = {'3', 'D', 'I', 4, 0, 0x10};
        f.insert(f.end(), size.begin(), size.end());
        tag.insert(tag.end(), f.begin(), f.end());
    }
    return tag;
}

}  // namespace qvtest
