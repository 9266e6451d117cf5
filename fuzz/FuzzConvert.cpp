// A whole DecodeMpegToWav of the fuzz input, in a folder of its own, with
// what it leaves behind checked against the documented results. This program
// exports the masd32 entry points itself (the module's code is linked in and
// instrumented); its folder holds only libma32.so, so the library binds ma32
// from there and finds masd32 in the host program.
#include <dirent.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Quorvan.h"
#include "WaveFormat.h"
#include "WaveHeader.h"

namespace {

std::string g_dir;

void RemoveEverything()
{
    if (g_dir.empty())
        return;
    if (DIR* d = opendir(g_dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                unlink((g_dir + "/" + e->d_name).c_str());
        closedir(d);
    }
    rmdir(g_dir.c_str());
}

// Everything in the folder but the input, by full path.
std::vector<std::string> Leftovers()
{
    std::vector<std::string> files;
    if (DIR* d = opendir(g_dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..") && strcmp(e->d_name, "in.mp3"))
                files.push_back(g_dir + "/" + e->d_name);
        closedir(d);
    }
    return files;
}

// A finished WAV file: the one format, and sizes that match the file.
void CheckWave(const std::string& path)
{
    struct stat st;
    FUZZ_CHECK(stat(path.c_str(), &st) == 0, "%s is gone", path.c_str());
    unsigned char bytes[kWaveHeaderLimit];
    FILE* f = fopen(path.c_str(), "rb");
    FUZZ_CHECK(f, "%s cannot be read", path.c_str());
    size_t read = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    WaveHeader h;
    FUZZ_CHECK(ReadWaveHeader(bytes, read, &h) == kWaveHeaderFound, "%s has no whole WAV header", path.c_str());
    uint64_t size = static_cast<uint64_t>(st.st_size);
    FUZZ_CHECK(h.dataStart == kWaveHeaderBytes, "the data start at %zu, not after the one header", h.dataStart);
    FUZZ_CHECK(h.riffSize == size - 8, "RIFF size %u for a file of %llu bytes", h.riffSize, (unsigned long long)size);
    FUZZ_CHECK(h.dataSize == size - kWaveHeaderBytes, "data size %u for a file of %llu bytes", h.dataSize,
               (unsigned long long)size);
    FUZZ_CHECK(h.dataSize % kWaveBlockAlign == 0, "a data size of %u is no whole number of frames", h.dataSize);
    FUZZ_CHECK(h.IsOurFormat(), "not 44100 Hz, 2 channels, 16-bit PCM");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_dir.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvan-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        FUZZ_CHECK(mkdtemp(buffer.data()), "no temporary folder");
        g_dir = buffer.data();
        // The library's fallback names go here too.
        setenv("TMPDIR", g_dir.c_str(), 1);
        atexit(RemoveEverything);
    }
    const std::string input = g_dir + "/in.mp3";
    FILE* f = fopen(input.c_str(), "wb");
    FUZZ_CHECK(f && fwrite(data, 1, size, f) == size && fclose(f) == 0, "the input cannot be written");

    // Odd sizes name the output; even ones let the library choose.
    const bool named = size & 1;
    const std::string given = named ? g_dir + "/out.wav" : "";
    CString output(given.c_str());
    int rc = DecodeMpegToWav(CString(input.c_str()), output);
    const std::string returned = static_cast<LPCTSTR>(output);
    std::vector<std::string> left = Leftovers();

    FUZZ_CHECK(rc != QV_ERR_OPEN_INPUT && rc != QV_ERR_LOAD_MODULES && rc != QV_ERR_ENTRY_POINT,
               "result %d: this target's input or decoder modules are missing", rc);
    FUZZ_CHECK(rc == QV_OK || rc == QV_ERR_CREATE_WAVE || rc == QV_ERR_CLOSE_WAVE || rc == QV_ERR_WRITE_BLOCK ||
                   rc == QV_ERR_NO_AUDIO || rc == QV_ERR_DECODER_INIT,
               "result %d is not documented", rc);
    if (named)
        FUZZ_CHECK(returned == given, "the given output became %s", returned.c_str());
    else if (rc == QV_OK)
        FUZZ_CHECK(returned == g_dir + "/inmp3.wav", "the chosen output is %s", returned.c_str());
    else
        FUZZ_CHECK(returned.empty(), "result %d handed out %s", rc, returned.c_str());

    if (rc == QV_OK || rc == QV_ERR_WRITE_BLOCK) {
        FUZZ_CHECK(left.size() == 1, "result %d left %zu files", rc, left.size());
        if (!returned.empty())
            FUZZ_CHECK(left[0] == returned, "result %d wrote %s", rc, left[0].c_str());
        CheckWave(left[0]);
    } else if (rc != QV_ERR_CREATE_WAVE && rc != QV_ERR_CLOSE_WAVE) {
        FUZZ_CHECK(left.empty(), "result %d left %s", rc, left[0].c_str());
    }
    for (const std::string& file : left)
        unlink(file.c_str());
    return 0;
}
