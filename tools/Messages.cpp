// Failure messages: the library's result codes and the tool's own refusals,
// in words.
#include "Messages.h"

#include "Interrupt.h"
#include "PlatformText.h"
#include "ResultCodes.h"
#include "WorkerProcess.h"

namespace {

std::string Code(int code)
{
    return " (code " + std::to_string(code) + ")";
}

}  // namespace

std::string ResultCodeText(int code)
{
    std::string text = "the conversion failed";
    switch (code) {
#define QV_RESULT(name, value, about, keeps, message, meaning, left) \
    case name:                                                       \
        text = message;                                              \
        break;
#define QV_FIRST_RESULT QV_RESULT
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
    }
    size_t modules = text.find("{modules}");
    if (modules != std::string::npos)
        text.replace(modules, 9, kDecoderModuleFiles);
    return text + Code(code);
}

std::string FailureLine(const std::string& input, const Outcome& outcome)
{
    std::string what;
    switch (outcome.kind) {
    case Outcome::kConverted:
        what = "converted";
        break;
    case Outcome::kLibraryError:
        what = ResultCodeText(outcome.code);
        break;
    case Outcome::kRefused:
        what = ResultCodeText(outcome.code);
        break;
    case Outcome::kException:
        what = "the library failed unexpectedly";
        break;
    case Outcome::kCrashed:
        what = "the conversion crashed (" + CrashName(outcome.code) + ")";
        break;
    case Outcome::kWorkerExited:
        what = "the conversion ended its process without a result (exit status " +
               std::to_string(outcome.code) + ")";
        break;
    case Outcome::kNoWorker:
        what = "no worker process could be started";
        break;
    case Outcome::kInterrupted:
        what = "not converted: the run was stopped (" + StopRequestName(outcome.code) + ")";
        break;
    }
    if (!outcome.detail.empty())
        what += ": " + outcome.detail;
    return "quorvan: " + input + ": " + what;
}

std::string TemporaryFolderLine(const std::vector<std::pair<std::string, std::string>>& inputsAndFiles, size_t total)
{
    size_t n = inputsAndFiles.size();
    std::string line = "quorvan: " + std::to_string(n) + " of " + std::to_string(total) +
                       (total == 1 ? " WAV file" : " WAV files") + " went to the temporary folder, not beside " +
                       (n == 1 ? "its input: " : "their inputs: ");
    for (size_t i = 0; i < n; ++i)
        line += (i ? ", " : "") + inputsAndFiles[i].first + " -> " + inputsAndFiles[i].second;
    return line;
}
