// The per-file job: the tool's own checks of -o, the library call, and a look
// at what was written.
#include "Conversion.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Quorvan.h"

namespace {

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Why the input cannot be opened, in the system's words.
std::string OpenInputProblem(const std::string& input)
{
    struct stat st;
    if (stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return strerror(EISDIR);
    int fd = open(input.c_str(), O_RDONLY);
    if (fd < 0)
        return strerror(errno);
    close(fd);
    return std::string();
}

// Why a WAV file of that name cannot be made, as far as its folder tells.
std::string CreateOutputProblem(const std::string& output)
{
    struct stat st;
    if (stat(output.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return strerror(EISDIR);
    size_t slash = output.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    if (stat(folder.c_str(), &st) != 0)
        return folder + ": " + strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return folder + ": " + strerror(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return folder + ": " + strerror(errno);
    return std::string();
}

uint32_t LittleEndian32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

Outcome ConvertFile(const std::string& input, const std::string& output, bool force)
{
    Outcome outcome;
    if (!output.empty()) {
        // Even --force never lets the library write over the file it reads.
        if (SameFile(input, output)) {
            outcome.kind = Outcome::kOutputIsInput;
            return outcome;
        }
        struct stat st;
        if (!force && lstat(output.c_str(), &st) == 0) {
            outcome.kind = Outcome::kOutputExists;
            outcome.output = output;
            return outcome;
        }
    }

    int result;
    CString outputPath(output.c_str());
    try {
        result = DecodeMpegToWav(CString(input.c_str()), outputPath);
    } catch (CException* e) {
        e->Delete();
        outcome.kind = Outcome::kException;
        outcome.detail = "it threw an exception";
        return outcome;
    } catch (...) {
        outcome.kind = Outcome::kException;
        outcome.detail = "it threw an exception";
        return outcome;
    }

    if (result != QV_OK) {
        outcome.kind = Outcome::kLibraryError;
        outcome.code = result;
        if (result == QV_ERR_OPEN_INPUT)
            outcome.detail = OpenInputProblem(input);
        else if (result == QV_ERR_CREATE_WAVE && !output.empty())
            outcome.detail = CreateOutputProblem(output);
        return outcome;
    }
    outcome.output = static_cast<LPCTSTR>(outputPath);
    outcome.audioBytes = WavDataBytes(outcome.output);
    return outcome;
}

uint64_t WavDataBytes(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    uint64_t bytes = 0;
    unsigned char header[12];
    if (fread(header, 1, 12, f) == 12 && memcmp(header, "RIFF", 4) == 0 && memcmp(header + 8, "WAVE", 4) == 0) {
        unsigned char chunk[8];
        while (fread(chunk, 1, 8, f) == 8) {
            uint32_t size = LittleEndian32(chunk + 4);
            if (memcmp(chunk, "data", 4) == 0) {
                bytes = size;
                break;
            }
            // Chunks are padded to an even size.
            if (fseek(f, static_cast<long>(size) + (size & 1), SEEK_CUR) != 0)
                break;
        }
    }
    fclose(f);
    return bytes;
}
