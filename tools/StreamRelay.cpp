// Relaying the staging file of -o - to the standard output.
#include "StreamRelay.h"

#include <string.h>

#include "FileSystem.h"
#include "Interrupt.h"

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

StreamRelay::StreamRelay(const std::string& staging) : path_(staging)
{
    seekable_ = StandardOutputSeekable(&start_);
}

StreamRelay::~StreamRelay()
{
    if (in_)
        fclose(in_);
}

bool StreamRelay::Fail(int error)
{
    failed_ = true;
    closed_ = IsClosedOutputError(error);
    error_ = "standard output: " + SystemErrorText(error);
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
        sent_ += written;
    }
    return true;
}

// Holds the bytes back until the data chunk begins, then sends them with the
// unknown sizes.
bool StreamRelay::TakeHeader(const unsigned char* data, size_t size)
{
    header_.insert(header_.end(), data, data + size);
    size_t start = WavDataStart(header_.data(), header_.size(), &dataSizeAt_);
    if (start == 0)
        return true;
    headerTaken_ = true;
    std::vector<unsigned char> out;
    out.swap(header_);
    if (start != std::string::npos) {
        dataStart_ = start;
        header_.assign(out.begin(), out.begin() + static_cast<long>(start));
        Put32(&out[4], 0xffffffffu);
        Put32(&out[dataSizeAt_], 0xffffffffu);
    }
    return Send(out.data(), out.size());
}

bool StreamRelay::Pump(size_t maxBytes)
{
    if (failed_)
        return false;
    // Opened once the library has written to it: a writer that makes the
    // file anew as it opens it (Windows' mmioOpen) would leave an earlier
    // handle on the empty file the command had claimed.
    if (!in_ && FileSize(path_) > 0)
        in_ = fopen(path_.c_str(), "rb");
    if (!in_)
        return true;  // nothing to open yet: the next round tries again
    static unsigned char buffer[1 << 16];
    size_t pumped = 0;
    while (pumped < maxBytes && StopRequest() == 0) {
        size_t n = fread(buffer, 1, sizeof buffer, in_);
        if (n == 0) {
            clearerr(in_);  // the end for now: the library writes on
            break;
        }
        read_ += n;
        pumped += n;
        if (!(headerTaken_ ? Send(buffer, n) : TakeHeader(buffer, n)))
            return !failed_;
    }
    if (read_ >= released_ + kReleaseStep + kKeptStart) {
        ReleaseFileSpace(path_, kKeptStart, read_);
        released_ = read_;
    }
    return true;
}

bool StreamRelay::Finish(bool complete)
{
    bool ok = !failed_;
    if (ok && complete) {
        // The rest through a new handle, at the place reached: no earlier
        // end of file or buffer of the old one stands in the way.
        if (in_)
            fclose(in_);
        in_ = fopen(path_.c_str(), "rb");
        if (in_ && !SeekFile(in_, read_)) {
            fclose(in_);
            in_ = nullptr;
        }
        if (!in_) {
            error_ = path_ + ": cannot be read again";
            ok = false;
        }
        ok = ok && Pump(static_cast<size_t>(-1)) && !failed_;
        // A header that never reached its data chunk (a file cut short) goes out as it is.
        if (ok && !headerTaken_ && !header_.empty())
            ok = Send(header_.data(), header_.size());
    }
    if (ok && seekable_ && dataStart_ != 0 && sent_ >= dataStart_ && StopRequest() == 0) {
        std::vector<unsigned char> header = header_;
        if (complete) {
            // The library's own sizes, written when it finished the file.
            ok = fseek(in_, 0, SEEK_SET) == 0 && fread(header.data(), 1, header.size(), in_) == header.size();
            if (!ok)
                error_ = path_ + ": the finished header cannot be read again";
        } else {
            Put32(&header[4], sent_ - 8);
            Put32(&header[dataSizeAt_], sent_ - dataStart_);
        }
        int error = 0;
        if (ok && !WriteStandardOutputAt(start_, header.data(), header.size(), &error))
            ok = Fail(error);
    }
    if (in_)
        fclose(in_);
    in_ = nullptr;
    return ok;
}
