#include "Conformance.h"

#include <stdio.h>

#include <algorithm>

#include "DecoderTestSupport.h"

namespace qvtest {

namespace {
const size_t kL3Frame = 1152;
}

const std::vector<ConformanceVector>& StandardVectors()
{
    static const std::vector<ConformanceVector> kVectors = {
        {"l1-fl1", 32000, 2, 18816, true},        {"l1-fl2", 44100, 2, 18816, true},
        {"l1-fl3", 48000, 2, 18816, true},        {"l1-fl4", 32000, 1, 18816, true},
        {"l1-fl5", 48000, 2, 18816, true},        {"l1-fl6", 44100, 2, 18816, true},
        {"l1-fl7", 44100, 2, 24192, true},        {"l1-fl8", 44100, 2, 18816, true},
        {"l2-fl10", 32000, 2, 56448, true},       {"l2-fl11", 44100, 2, 56448, true},
        {"l2-fl12", 48000, 2, 56448, true},       {"l2-fl13", 32000, 1, 56448, true},
        {"l2-fl14", 48000, 2, 18432, true},       {"l2-fl15", 48000, 2, 18432, true},
        {"l2-fl16", 48000, 2, 72576, true},       {"l2-test32", 24000, 2, 72576, true},
        {"l3-compl", 48000, 1, 248832, true},     {"l3-he_32khz", 32000, 1, 172800, true},
        {"l3-he_44khz", 44100, 1, 472320, true},  {"l3-he_48khz", 48000, 1, 172800, true},
        {"l3-he_free", 44100, 2, 78336, true},    {"l3-he_mode", 44100, 0, 147456, true},
        {"l3-hecommon", 44100, 2, 34560, true},   {"l3-si", 44100, 1, 135936, true},
        {"l3-si_block", 44100, 1, 73728, true},   {"l3-si_huff", 44100, 1, 86400, true},
        {"l3-sin1k0db", 44100, 2, 365184, true},  {"M2L3_bitrate_16_all", 16000, 1, 274176, true},
        {"M2L3_bitrate_22_all", 22050, 1, 274176, true}, {"M2L3_bitrate_24_all", 24000, 1, 274176, true},
        {"M2L3_compl24", 24000, 1, 122112, true}, {"M2L3_noise", 22050, 2, 222336, true},
        {"l3-test45", 22050, 2, 473472, false},   {"l3-test46", 22050, 2, 144000, false},
    };
    return kVectors;
}

std::string ConformanceDir()
{
#ifdef QUORVAN_TESTDATA
    std::string dir = std::string(QUORVAN_TESTDATA) + "/conformance";
    if (FileExists(dir + "/standard/l1-fl1.bit"))
        return dir;
#endif
    return std::string();
}

std::string ConformanceMissing()
{
#ifdef QUORVAN_TESTDATA
    return "conformance data not found at " QUORVAN_TESTDATA "/conformance (see docs/testing.md, Tests)";
#else
    return "conformance data not found";
#endif
}

namespace {

// The reference as stereo frames. l3-he_mode switches between mono and two
// channels: frames 0-9 and 110-127 are mono.
std::vector<int16_t> ReferenceStereo(const ConformanceVector& v, const std::vector<int16_t>& ref)
{
    if (v.channels != 0)
        return ToStereo(ref, v.channels);
    std::vector<int16_t> out;
    size_t pos = 0;
    for (size_t frame = 0; pos < ref.size(); ++frame) {
        bool mono = frame < 10 || frame >= 110;
        size_t values = kL3Frame * (mono ? 1 : 2);
        size_t end = std::min(ref.size(), pos + values);
        for (size_t i = pos; i < end; i += mono ? 1 : 2) {
            out.push_back(ref[i]);
            out.push_back(mono ? ref[i] : ref[i + 1 < end ? i + 1 : i]);
        }
        pos = end;
    }
    return out;
}

Diff CompareFrames(const std::vector<int16_t>& a, size_t aStart, const std::vector<int16_t>& b, size_t bStart,
                   size_t frames)
{
    return Compare(a.data() + 2 * aStart, b.data() + 2 * bStart, 2 * frames);
}

}  // namespace

ConformanceResult MeasureConformance(const ConformanceVector& v, const std::vector<int16_t>& stereo)
{
    ConformanceResult r;
    std::string path = ConformanceDir() + "/standard/" + v.name + ".pcm";
    if (!FileExists(path))
        return r;
    r.referenceFound = true;
    std::vector<int16_t> ref = ReferenceStereo(v, ReadRawPcm(path));
    size_t ours = stereo.size() / 2, theirs = ref.size() / 2;

    // l3-sin1k0db starts with frames whose reservoir data is not in the file;
    // the reference leaves them out. Take the best alignment within 2 frames.
    size_t maxOffset = std::string(v.name) == "l3-sin1k0db" ? 2 : 0;
    double bestPsnr = -1;
    for (size_t k = 0; k <= maxOffset; ++k) {
        size_t offset = k * kL3Frame;
        if (offset >= ours)
            break;
        size_t n = std::min(ours - offset, theirs);
        Diff d = CompareFrames(stereo, offset, ref, 0, n);
        if (d.psnr > bestPsnr) {
            bestPsnr = d.psnr;
            r.offset = offset;
            r.compared = n;
            r.maxAbs = d.maxAbs;
            r.psnr = d.psnr;
        }
    }

    // l3-he_mode: the first frame after each switch between mono and two
    // channels (frames 10 and 110) is reported on its own, not gated.
    if (v.channels == 0 && r.compared >= 111 * kL3Frame) {
        std::vector<int16_t> a, b;
        char note[160];
        Diff s10 = CompareFrames(stereo, 10 * kL3Frame, ref, 10 * kL3Frame, kL3Frame);
        Diff s110 = CompareFrames(stereo, 110 * kL3Frame, ref, 110 * kL3Frame, kL3Frame);
        for (size_t f = 0; f * kL3Frame < r.compared; ++f) {
            if (f == 10 || f == 110)
                continue;
            size_t n = std::min(kL3Frame, r.compared - f * kL3Frame);
            a.insert(a.end(), stereo.begin() + 2 * f * kL3Frame, stereo.begin() + 2 * (f * kL3Frame + n));
            b.insert(b.end(), ref.begin() + 2 * f * kL3Frame, ref.begin() + 2 * (f * kL3Frame + n));
        }
        Diff rest = Compare(a.data(), b.data(), a.size());
        r.maxAbs = rest.maxAbs;
        r.psnr = rest.psnr;
        snprintf(note, sizeof note, "switch frames left out: frame 10 max %d / %.1f dB, frame 110 max %d / %.1f dB",
                 s10.maxAbs, s10.psnr, s110.maxAbs, s110.psnr);
        r.note = note;
    }
    return r;
}

}  // namespace qvtest
