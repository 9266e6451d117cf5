// Helpers shared by the tests: temporary folders, scoped working directory and
// environment, file contents, the scripted decoder doubles and WAV headers.
#ifndef QUORVAN_TESTS_TESTSUPPORT_H
#define QUORVAN_TESTS_TESTSUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

namespace qvtest {

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    // The name inside the folder, joined with the system's separator.
    std::string operator/(const std::string& name) const { return Path(name); }
    std::string Path(const std::string& name) const;

private:
    std::string path_;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();

private:
    std::string old_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name_;
    bool had_;
    std::string old_;
};

std::vector<unsigned char> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool Exists(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);

// The file name of a decoder module on this system: "ma32" -> "ma32.dll", or
// "libma32.so" on POSIX.
std::string ModuleFile(const std::string& module);
// Makes the module file `from` available as `to` (a link, or a copy).
void OfferFile(const std::string& from, const std::string& to);

// The bytes a "block RET FIRST SECOND SEED" line of a double's script delivers.
std::vector<unsigned char> Pattern(uint32_t seed, size_t bytes);

// Which double modules a test's working directory offers.
enum Modules { kBoth, kOnlyMa32, kOnlyMasd32, kNone };

// A working directory with the chosen double modules, a script, a call log
// and an input file; while it lives, the process works in that directory.
class DoubleRig {
public:
    explicit DoubleRig(const std::string& variant = "full", Modules modules = kBoth);
    ~DoubleRig();

    void Script(const std::string& script);
    // Tells the doubles which output file to watch.
    void WatchOutput(const std::string& path);
    std::vector<std::string> Log() const;
    // Log lines that start with the prefix.
    std::vector<std::string> LogLines(const std::string& prefix) const;

    std::string dir() const { return dir_.path(); }
    const std::string& input() const { return input_; }
    std::string Path(const std::string& name) const { return dir_ / name; }

private:
    TempDir dir_;
    std::string input_;
    ScopedCwd* cwd_;
    ScopedEnv* env_[4];
};

// A decoder module (libma32.so or libmasd32.so) that the system loader finds
// by name on its own, in LD_LIBRARY_PATH, its cache or the system folders (an
// older installation, say), or "" when there is none. Tests that need the
// modules to be missing cannot run while there is one.
std::string SystemOffersModule();
#define QVTEST_SKIP_IF_THE_SYSTEM_OFFERS_MODULES()                                        \
    if (std::string offered = qvtest::SystemOffersModule(); !offered.empty())              \
    GTEST_SKIP() << "the system loader finds " << offered << ", so no module can be missing"

// Simulated out-of-memory in the framework library: after n more string
// allocations succeed, every further one fails, until called with n < 0. The
// hook exists only in the test build of the framework that ctest puts first
// (tests/afx-testing/); without it this throws and the test fails.
void FailAllocationsAfter(int n);
// The same, but only that one allocation fails: the ones after it succeed.
void FailOneAllocationAfter(int n);

// A WAV file as the tests see it: its RIFF header, the first "fmt " chunk and
// the "data" chunk, found by walking the chunks (other writers put more chunks
// in between). The sizes are read as written, even when they are wrong.
struct WavHeader {
    std::string riff, wave, fmt, data;  // "RIFF", "WAVE", "fmt ", "data" when present
    uint32_t riffSize = 0, fmtSize = 0, dataSize = 0;
    uint16_t formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    uint32_t sampleRate = 0, byteRate = 0;
    size_t dataOffset = 0;         // where the samples start (44 in our own files)
    bool valid = false;            // 16-bit PCM, and the data chunk fits in the file
    std::vector<int16_t> samples;  // interleaved, as far as the file holds them
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};
WavHeader ParseWavHeader(const std::vector<unsigned char>& file);
WavHeader ReadWave(const std::string& path);

}  // namespace qvtest

#endif
