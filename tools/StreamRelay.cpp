// Relaying the staging file of -o - to the standard output.
#include "StreamRelay.h"

#include <string.h>

#include "Files.h"
#include "Interrupt.h"
#include "StandardStreams.h"
#include "SystemErrors.h"

namespace {

// A header longer than this is no header of ours: its bytes are sent as they are.
const size_t kHeaderLimit = 4096;
// The start of the staging file keeps its blocks (the header is read again at the end).
const uint64_t kKeptStart = 64 * 1024;
// Space is given back in steps of this much.
const uint64_t kReleaseStep = 8u << 20;

uint32_t Get32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put32(unsigned char* p, uint64_t value)
{
    uint32_t v = value > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

size_t WavDataStart(const unsigned char* h, size_t size, size_t* dataSizeAt)
{
    if (size < 12)
        return 0;
    if (memcmp(h, "RIFF", 4) != 0 || memcmp(h + 8, "WAVE", 4) != 0)
        return std::string::npos;
    size_t at = 12;
    while (at + 8 <= size) {
        if (memcmp(h + at, "data", 4) == 0) {
            *dataSizeAt = at + 4;
            return at + 8;
        }
        uint32_t chunk = Get32(h + at + 4);
        at += 8 + static_cast<size_t>(chunk) + (chunk & 1);
        if (at >= kHeaderLimit)
            return std::string::npos;
    }
    return 0;
}

StreamRelay::StreamRelay(const std::string& staging) : m_path(staging)
{
    m_seekable = StandardOutputSeekable(&m_start);
}

StreamRelay::~StreamRelay()
{
    if (m_in)
        fclose(m_in);
}

bool StreamRelay::Fail(int error)
{
    m_failed = true;
    m_closed = IsClosedOutputError(error);
    m_error = "standard output: " + SystemErrorText(error);
    return false;
}

bool StreamRelay::Send(const unsigned char* data, size_t size)
{
    while (size > 0) {
        size_t written = 0;
        int error = 0;
        if (!WriteStandardOutput(data, size, &written, &error)) {
            if (IsInterruptedError(error) && StopRequest() == 0)
                continue;
            if (IsInterruptedError(error))
                return false;  // the run is being stopped: nothing failed
            return Fail(error);
        }
        data += written;
        size -= written;
        m_sent += written;
    }
    return true;
}

// Holds the bytes back until the data chunk begins, then sends them with the
// unknown sizes.
bool StreamRelay::TakeHeader(const unsigned char* data, size_t size)
{
    m_header.insert(m_header.end(), data, data + size);
    size_t start = WavDataStart(m_header.data(), m_header.size(), &m_dataSizeAt);
    if (start == 0)
        return true;
    m_headerTaken = true;
    std::vector<unsigned char> out;
    out.swap(m_header);
    if (start != std::string::npos) {
        m_dataStart = start;
        m_header.assign(out.begin(), out.begin() + static_cast<long>(start));
        Put32(&out[4], 0xffffffffu);
        Put32(&out[m_dataSizeAt], 0xffffffffu);
    }
    return Send(out.data(), out.size());
}

bool StreamRelay::Pump(size_t maxBytes)
{
    if (m_failed)
        return false;
    // Opened once the library has written to it: a writer that makes the
    // file anew as it opens it (Windows' mmioOpen) would leave an earlier
    // handle on the empty file the command had claimed.
    if (!m_in && FileSize(m_path) > 0)
        m_in = fopen(m_path.c_str(), "rb");
    if (!m_in)
        return true;  // nothing to open yet: the next round tries again
    unsigned char* buffer = m_buffer.data();
    size_t pumped = 0;
    while (pumped < maxBytes && StopRequest() == 0) {
        size_t n = fread(buffer, 1, m_buffer.size(), m_in);
        if (n == 0) {
            clearerr(m_in);  // the end for now: the library writes on
            break;
        }
        m_read += n;
        pumped += n;
        if (!(m_headerTaken ? Send(buffer, n) : TakeHeader(buffer, n)))
            return !m_failed;
    }
    if (m_read >= m_released + kReleaseStep + kKeptStart) {
        ReleaseFileSpace(m_path, kKeptStart, m_read);
        m_released = m_read;
    }
    return true;
}

bool StreamRelay::Finish(bool complete)
{
    bool ok = !m_failed;
    if (ok && complete) {
        // The rest through a new handle, at the place reached: no earlier
        // end of file or buffer of the old one stands in the way.
        if (m_in)
            fclose(m_in);
        m_in = fopen(m_path.c_str(), "rb");
        if (m_in && !SeekFile(m_in, m_read)) {
            fclose(m_in);
            m_in = nullptr;
        }
        if (!m_in) {
            m_error = m_path + ": cannot be read again";
            ok = false;
        }
        ok = ok && Pump(static_cast<size_t>(-1)) && !m_failed;
        // A header that never reached its data chunk (a file cut short) goes out as it is.
        if (ok && !m_headerTaken && !m_header.empty())
            ok = Send(m_header.data(), m_header.size());
    }
    if (ok && m_seekable && m_dataStart != 0 && m_sent >= m_dataStart && StopRequest() == 0) {
        std::vector<unsigned char> header = m_header;
        if (complete) {
            // The library's own sizes, written when it finished the file.
            ok = fseek(m_in, 0, SEEK_SET) == 0 && fread(header.data(), 1, header.size(), m_in) == header.size();
            if (!ok)
                m_error = m_path + ": the finished header cannot be read again";
        } else {
            Put32(&header[4], m_sent - 8);
            Put32(&header[m_dataSizeAt], m_sent - m_dataStart);
        }
        int error = 0;
        if (ok && !WriteStandardOutputAt(m_start, header.data(), header.size(), &error))
            ok = Fail(error);
    }
    if (m_in)
        fclose(m_in);
    m_in = nullptr;
    return ok;
}
