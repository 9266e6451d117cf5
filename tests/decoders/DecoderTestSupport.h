// Helpers for the decoder module tests: a scratch folder, the Debian encoders
// and ffmpeg run as child processes, raw and WAV sample files, comparisons.
#ifndef QUORVAN_TESTS_DECODERS_DECODERTESTSUPPORT_H
#define QUORVAN_TESTS_DECODERS_DECODERTESTSUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace qvtest {

// A fresh folder under $TMPDIR, removed with everything in it at the end.
using ScratchDir = TempDir;

// Standard output and standard error, caught in a file for the length of a
// scope.
class CapturedOutput {
public:
    explicit CapturedOutput(const std::string& path);
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

private:
    int m_savedOut, m_savedErr;
};

// True when `tool` is on PATH.
bool HaveTool(const std::string& tool);
// Runs a shell command with its output discarded; true when it exited 0.
bool RunCommand(const std::string& command);

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::string& path);
std::vector<int16_t> ReadRawPcm(const std::string& path);

using Wave = WavHeader;  // read with ReadWave()

// Writes a 16-bit PCM WAV file of `frames` frames: two tones per channel
// (different per channel) and a little noise, about -8 dBFS, deterministic.
bool WriteTestSignal(const std::string& path, long rate, int channels, size_t frames);

// Sample-by-sample comparison over the first `count` values.
struct Diff {
    int maxAbs = 0;
    double psnr = 0;  // dB, 10 log10(32767^2 / MSE); 200 when identical
    double snr = 0;   // dB, signal power of `reference` over the error power
};
Diff Compare(const int16_t* actual, const int16_t* reference, size_t count);

// The best SNR of `actual` against `reference` (both stereo interleaved) when
// `actual` is shifted by up to maxLag frames either way.
double BestStereoSnr(const std::vector<int16_t>& actual, const std::vector<int16_t>& reference, int maxLag);

// Mono to stereo by copying each sample to both channels.
std::vector<int16_t> ToStereo(const std::vector<int16_t>& samples, int channels);

// ffmpeg's own decode of `input` as 16-bit interleaved samples, at the
// stream's channel count. With rate > 0 it is resampled by ffmpeg's libsoxr
// resampler to that rate.
bool FfmpegDecode(const std::string& input, const std::string& rawOutput, long rate = 0);

// Raw 16-bit samples resampled to 44100 Hz by ffmpeg's libsoxr resampler.
bool FfmpegResampleRaw(const std::string& raw, long rate, int channels, const std::string& rawOutput);
bool WriteRawPcm(const std::string& path, const int16_t* samples, size_t count);

}  // namespace qvtest

#endif
