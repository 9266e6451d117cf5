// Relaying the staging file of -o - to the standard output.
#include "StreamRelay.h"

#include "Files.h"
#include "Interrupt.h"
#include "StandardStreams.h"
#include "SystemErrors.h"

namespace {

// The start of the staging file keeps its blocks (the header is read again at the end).
const uint64_t kKeptStart = 64 * 1024;
// Space is given back in steps of this much.
const uint64_t kReleaseStep = 8u << 20;

}  // namespace

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
    WaveHeader wave;
    WaveHeaderRead read = ReadWaveHeader(m_header.data(), m_header.size(), &wave);
    if (read == kWaveHeaderIncomplete)
        return true;
    m_headerTaken = true;
    std::vector<unsigned char> out;
    out.swap(m_header);
    if (read == kWaveHeaderFound) {
        m_wave = wave;
        m_header.assign(out.begin(), out.begin() + static_cast<long>(wave.dataStart));
        SetWaveSizes(out.data(), wave, UINT64_MAX);  // unknown
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
    if (ok && m_seekable && m_wave.dataStart != 0 && m_sent >= m_wave.dataStart && StopRequest() == 0) {
        std::vector<unsigned char> header = m_header;
        if (complete) {
            // The library's own sizes, written when it finished the file.
            ok = fseek(m_in, 0, SEEK_SET) == 0 && fread(header.data(), 1, header.size(), m_in) == header.size();
            if (!ok)
                m_error = m_path + ": the finished header cannot be read again";
        } else {
            SetWaveSizes(header.data(), m_wave, m_sent);
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
