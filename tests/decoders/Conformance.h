// The conformance streams in the shared test data (standard/), what each
// decodes to, and how a decode is measured against its reference: lengths
// and alignment follow the data's README.
#ifndef QUORVAN_TESTS_DECODERS_CONFORMANCE_H
#define QUORVAN_TESTS_DECODERS_CONFORMANCE_H

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

namespace qvtest {

struct ConformanceVector {
    const char* name;
    long rate;
    int channels;        // 0: changes within the stream
    size_t frames;       // samples per channel a full decode gives
    bool gated;          // false: reported only
};

// Test names and logs show the stream's name, not the record's bytes.
inline void PrintTo(const ConformanceVector& v, std::ostream* os)
{
    *os << v.name;
}

const std::vector<ConformanceVector>& StandardVectors();

// Folder of the conformance data, or "" when it is not there.
std::string ConformanceDir();

// Why a test that needs it is skipped, the same words for each, so that the
// skipped tests can be counted by reason.
std::string ConformanceMissing();

struct ConformanceResult {
    bool referenceFound = false;
    size_t compared = 0;  // stereo frames compared
    size_t offset = 0;    // frames of the decode skipped to align it
    int maxAbs = 0;
    double psnr = 0;
    std::string note;     // frames left out of the gate, and their own numbers
};

// Measures a decode, made stereo (mono copied to both channels), against the
// vector's reference.
ConformanceResult MeasureConformance(const ConformanceVector& v, const std::vector<int16_t>& stereo);

}  // namespace qvtest

#endif
