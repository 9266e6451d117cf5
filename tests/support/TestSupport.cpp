#include "TestSupport.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#ifndef QUORVAN_DOUBLES_DIR
#error "QUORVAN_DOUBLES_DIR must name the folder of the double variants"
#endif

namespace qvtest {

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<unsigned char> Pattern(uint32_t seed, size_t bytes)
{
    std::vector<unsigned char> v(bytes);
    for (size_t i = 0; i < bytes; ++i)
        v[i] = static_cast<unsigned char>(seed + i);
    return v;
}

DoubleRig::DoubleRig(const std::string& variant, Modules modules) : cwd_(nullptr), env_()
{
    std::string from = std::string(QUORVAN_DOUBLES_DIR) + "/" + variant + "/";
    if (modules == kBoth || modules == kOnlyMa32)
        OfferFile(from + ModuleFile("ma32"), dir_ / ModuleFile("ma32"));
    if (modules == kBoth || modules == kOnlyMasd32)
        OfferFile(from + ModuleFile("masd32"), dir_ / ModuleFile("masd32"));
    input_ = dir_ / "input.mp3";
    WriteFile(input_, "input bytes: the doubles read them through the callback");
    WriteFile(dir_ / "script", "");
    cwd_ = new ScopedCwd(dir_.path());
    env_[0] = new ScopedEnv("QV_DOUBLE_SCRIPT", dir_ / "script");
    env_[1] = new ScopedEnv("QV_DOUBLE_LOG", dir_ / "log");
    env_[2] = new ScopedEnv("QV_DOUBLE_INPUT", input_);
    env_[3] = new ScopedEnv("QV_DOUBLE_OUTPUT", dir_ / "out.wav");
}

DoubleRig::~DoubleRig()
{
    for (ScopedEnv* e : env_)
        delete e;
    delete cwd_;
}

void DoubleRig::Script(const std::string& script)
{
    WriteFile(dir_ / "script", script);
}

void DoubleRig::WatchOutput(const std::string& path)
{
    delete env_[3];
    env_[3] = new ScopedEnv("QV_DOUBLE_OUTPUT", path);
}

std::vector<std::string> DoubleRig::Log() const
{
    return ReadLines(dir_ / "log");
}

std::vector<std::string> DoubleRig::LogLines(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& line : Log())
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

namespace {
uint32_t LE32(const std::vector<unsigned char>& f, size_t at)
{
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}
uint16_t LE16(const std::vector<unsigned char>& f, size_t at)
{
    return static_cast<uint16_t>(f[at] | (f[at + 1] << 8));
}
}  // namespace

WavHeader ParseWavHeader(const std::vector<unsigned char>& f)
{
    WavHeader h;
    if (f.size() < 12)
        return h;
    h.riff.assign(f.begin(), f.begin() + 4);
    h.riffSize = LE32(f, 4);
    h.wave.assign(f.begin() + 8, f.begin() + 12);
    for (size_t at = 12; at + 8 <= f.size();) {
        std::string id(f.begin() + at, f.begin() + at + 4);
        uint32_t size = LE32(f, at + 4);
        size_t body = at + 8;
        if (id == "fmt " && h.fmt.empty() && body + 16 <= f.size()) {
            h.fmt = id;
            h.fmtSize = size;
            h.formatTag = LE16(f, body);
            h.channels = LE16(f, body + 2);
            h.sampleRate = LE32(f, body + 4);
            h.byteRate = LE32(f, body + 8);
            h.blockAlign = LE16(f, body + 12);
            h.bitsPerSample = LE16(f, body + 14);
        } else if (id == "data") {
            h.data = id;
            h.dataSize = size;
            h.dataOffset = body;
            size_t bytes = std::min<size_t>(size, f.size() - body);
            for (size_t i = 0; i + 1 < bytes; i += 2)
                h.samples.push_back(static_cast<int16_t>(LE16(f, body + i)));
            h.valid = !h.fmt.empty() && h.formatTag == 1 && h.bitsPerSample == 16 && h.channels > 0 &&
                      body + size <= f.size();
            break;
        }
        at = body + size + (size & 1);
    }
    return h;
}

WavHeader ReadWave(const std::string& path)
{
    return ParseWavHeader(ReadFile(path));
}

}  // namespace qvtest
