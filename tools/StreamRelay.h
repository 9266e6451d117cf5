// The WAV file of -o -, sent to the standard output while the library is
// still writing it into the staging file: the header as soon as it is there,
// with the sizes of a WAV file of unknown length (0xFFFFFFFF), then the audio
// as it reaches the file. At the end, a standard output that can seek gets
// the true sizes; a pipe keeps the unknown ones. Every other byte is the
// staging file's. What was sent is given back to the disk as it goes, so the
// staging file only takes the space of what the reader has not taken yet.
#ifndef QUORVAN_TOOLS_STREAMRELAY_H
#define QUORVAN_TOOLS_STREAMRELAY_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "WaveHeader.h"

class StreamRelay {
public:
    // staging: the file the library writes. The standard output is looked at
    // here: whether it can seek, and where the WAV file starts in it.
    explicit StreamRelay(const std::string& staging);
    ~StreamRelay();

    // Sends what has reached the staging file since, up to about maxBytes
    // (so the command gets on with its other work); false once the standard
    // output failed, see Closed() and Error(). A stop request ends it early.
    bool Pump(size_t maxBytes = 4u << 20);

    // The conversion has ended. complete: the library has finished the file,
    // so the rest goes out and a seekable output gets the file's own header;
    // otherwise nothing more is sent, and a seekable output gets sizes that
    // describe what it holds. The staging file is let go of either way.
    bool Finish(bool complete);

    // Why the output failed: the reader went away, or the system's words.
    bool Closed() const { return m_closed; }
    const std::string& Error() const { return m_error; }

private:
    bool Send(const unsigned char* data, size_t size);
    bool TakeHeader(const unsigned char* data, size_t size);
    bool Fail(int error);

    std::string m_path;
    FILE* m_in = nullptr;
    std::vector<unsigned char> m_buffer = std::vector<unsigned char>(1 << 16);  // one read of m_in
    bool m_seekable = false;
    uint64_t m_start = 0;       // where the WAV file begins in a seekable output
    uint64_t m_read = 0;        // bytes of the staging file read so far
    uint64_t m_sent = 0;        // bytes written to the output
    uint64_t m_released = 0;    // the staging file's space given back up to here
    std::vector<unsigned char> m_header;  // held until the data chunk starts
    bool m_headerTaken = false; // sent; from then on bytes go out as they come
    WaveHeader m_wave;          // its dataStart 0: no header to mend
    bool m_failed = false;
    bool m_closed = false;
    std::string m_error;
};

#endif
