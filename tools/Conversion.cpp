// The per-file job in a worker: the library call, the system's reason for a
// failure, and a look at what was written.
#include "Conversion.h"

#include <stdio.h>

#include "Files.h"
#include "ModuleDiagnosis.h"
#include "Quorvan.h"
#include "StandardStreams.h"
#include "SystemErrors.h"
#include "WaveHeader.h"
#include "WorkerProcess.h"

namespace {

// What the command adds to a failure's message, by the "about" column of
// ResultCodes.def.
std::string ExplainInput(const std::string& source, int, int)
{
    return OpenForReadingProblem(source);
}

std::string ExplainOutput(const std::string&, int error, int)
{
    return WriteFailureText(error);
}

std::string ExplainModules(const std::string&, int, int result)
{
    return DiagnoseDecoderModules(result);
}

std::string ExplainNone(const std::string&, int, int)
{
    return std::string();
}

}  // namespace

Outcome ConvertFile(const std::string& input, const std::string& output, bool made)
{
    Outcome outcome;
    std::string source = input == "-" ? StandardInputName() : input;
    if (source.empty()) {
        outcome.kind = Outcome::kRefused;
        outcome.code = QV_ERR_OPEN_INPUT;
        outcome.detail = "the standard input cannot be read here: give the file's name";
        return outcome;
    }
    int result = QV_OK;
    int error = 0;
    bool threw = false;
    SetUnfinishedFile(made ? output : std::string());
    try {
        CString inputPath(source.c_str()), outputPath(output.c_str());
        ClearSystemError();
        // On Windows the library raises the framework's exceptions as MFC42
        // does, in Visual C++'s way: they arrive here as this program's own.
        AfxFrameworkCall([&] { result = DecodeMpegToWav(inputPath, outputPath); });
        error = LastSystemError();
    } catch (CException* e) {
        e->Delete();
        threw = true;
    } catch (...) {
        threw = true;
    }
    SetUnfinishedFile(std::string());
    if (threw) {
        outcome.kind = Outcome::kException;
        outcome.detail = "it threw an exception";
        return outcome;
    }
    outcome.output = output;
    outcome.audioBytes = WavDataBytes(output);
    if (result != QV_OK) {
        outcome.kind = Outcome::kLibraryError;
        outcome.code = result;
        switch (result) {
#define QV_RESULT(name, code, about, keeps, message, meaning, left) \
    case name:                                                      \
        outcome.detail = Explain##about(source, error, result);     \
        break;
#define QV_FIRST_RESULT(name, code, about, keeps, message, meaning, left)
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
        }
    }
    return outcome;
}

uint64_t WavDataBytes(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    unsigned char bytes[kWaveHeaderLimit];
    size_t size = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    WaveHeader header;
    return ReadWaveHeader(bytes, size, &header) == kWaveHeaderFound ? header.dataSize : 0;
}
