#include "DecoderTestSupport.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

namespace qvtest {

CapturedOutput::CapturedOutput(const std::string& path)
{
    fflush(stdout);
    fflush(stderr);
    m_savedOut = dup(1);
    m_savedErr = dup(2);
    if (FILE* f = fopen(path.c_str(), "wb")) {
        dup2(fileno(f), 1);
        dup2(fileno(f), 2);
        fclose(f);
    }
}

CapturedOutput::~CapturedOutput()
{
    fflush(stdout);
    fflush(stderr);
    dup2(m_savedOut, 1);
    dup2(m_savedErr, 2);
    close(m_savedOut);
    close(m_savedErr);
}

bool RunCommand(const std::string& command)
{
    std::string full = "(" + command + ") </dev/null >/dev/null 2>&1";
    return system(full.c_str()) == 0;
}

bool HaveTool(const std::string& tool)
{
    return RunCommand("command -v " + tool);
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

namespace {
uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
std::vector<int16_t> Samples(const unsigned char* p, size_t bytes)
{
    std::vector<int16_t> s(bytes / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(Le16(p + 2 * i));
    return s;
}
void Put32(std::vector<unsigned char>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}
void Put16(std::vector<unsigned char>& v, uint16_t x)
{
    v.push_back(static_cast<unsigned char>(x));
    v.push_back(static_cast<unsigned char>(x >> 8));
}
}  // namespace

std::vector<int16_t> ReadRawPcm(const std::string& path)
{
    std::vector<unsigned char> bytes = ReadFile(path);
    return Samples(bytes.data(), bytes.size());
}

bool WriteTestSignal(const std::string& path, long rate, int channels, size_t frames)
{
    std::vector<unsigned char> v;
    uint32_t dataBytes = static_cast<uint32_t>(frames * static_cast<size_t>(channels) * 2);
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put32(v, 36 + dataBytes);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, static_cast<uint16_t>(channels));
    Put32(v, static_cast<uint32_t>(rate));
    Put32(v, static_cast<uint32_t>(rate * channels * 2));
    Put16(v, static_cast<uint16_t>(channels * 2));
    Put16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put32(v, dataBytes);
    std::mt19937 noise(12345);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double kPi = 3.14159265358979323846;
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / static_cast<double>(rate);
        for (int c = 0; c < channels; ++c) {
            double f1 = 220.0 * (c + 1) + 17.0, f2 = rate / 9.0 + 101.0 * c;
            double x = 0.22 * sin(2 * kPi * f1 * t) + 0.12 * sin(2 * kPi * f2 * t) + 0.02 * uniform(noise);
            Put16(v, static_cast<uint16_t>(static_cast<int16_t>(lround(x * 32767.0))));
        }
    }
    return WriteFile(path, v);
}

Diff Compare(const int16_t* actual, const int16_t* reference, size_t count)
{
    Diff d;
    double err = 0, sig = 0;
    for (size_t i = 0; i < count; ++i) {
        int e = actual[i] - reference[i];
        d.maxAbs = std::max(d.maxAbs, e < 0 ? -e : e);
        err += static_cast<double>(e) * e;
        sig += static_cast<double>(reference[i]) * reference[i];
    }
    if (count == 0 || err == 0) {
        d.psnr = d.snr = 200;
        return d;
    }
    d.psnr = 10 * log10(32767.0 * 32767.0 / (err / static_cast<double>(count)));
    d.snr = 10 * log10(sig / err);
    return d;
}

double BestStereoSnr(const std::vector<int16_t>& actual, const std::vector<int16_t>& reference, int maxLag)
{
    double best = -1000;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        size_t a0 = lag > 0 ? static_cast<size_t>(lag) * 2 : 0;
        size_t r0 = lag < 0 ? static_cast<size_t>(-lag) * 2 : 0;
        if (a0 >= actual.size() || r0 >= reference.size())
            continue;
        size_t n = std::min(actual.size() - a0, reference.size() - r0);
        best = std::max(best, Compare(actual.data() + a0, reference.data() + r0, n).snr);
    }
    return best;
}

std::vector<int16_t> ToStereo(const std::vector<int16_t>& samples, int channels)
{
    if (channels == 2)
        return samples;
    std::vector<int16_t> s(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        s[2 * i] = s[2 * i + 1] = samples[i];
    return s;
}

bool FfmpegDecode(const std::string& input, const std::string& rawOutput, long rate)
{
    std::string filter;
    if (rate > 0)
        filter = " -af aresample=" + std::to_string(rate) + ":resampler=soxr";
    return RunCommand("ffmpeg -nostdin -v error -y -i '" + input + "'" + filter + " -f s16le -acodec pcm_s16le '" +
               rawOutput + "'");
}

bool FfmpegResampleRaw(const std::string& raw, long rate, int channels, const std::string& rawOutput)
{
    return RunCommand("ffmpeg -nostdin -v error -y -f s16le -ar " + std::to_string(rate) + " -ac " +
                      std::to_string(channels) + " -i '" + raw +
                      "' -af aresample=44100:resampler=soxr -f s16le -acodec pcm_s16le '" + rawOutput + "'");
}

bool WriteRawPcm(const std::string& path, const int16_t* samples, size_t count)
{
    std::vector<unsigned char> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(static_cast<uint16_t>(samples[i]));
        bytes[2 * i + 1] = static_cast<unsigned char>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    return WriteFile(path, bytes);
}

}  // namespace qvtest
