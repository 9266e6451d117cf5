// Command-line parsing: GNU-style short and long options, which may appear
// before, between or after the input files; "--" ends the options.
#include "Options.h"

#include <errno.h>
#include <stdlib.h>

namespace {

const unsigned kMaxJobs = 1024;

bool ParseJobs(const std::string& text, unsigned* jobs, std::string* error)
{
    char* end = nullptr;
    errno = 0;
    unsigned long n = text.empty() || text[0] == '-' || text[0] == '+' ? 0 : strtoul(text.c_str(), &end, 10);
    if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || n < 1 || n > kMaxJobs) {
        *error = "-j needs a number of worker processes from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                 text + "'";
        return false;
    }
    *jobs = static_cast<unsigned>(n);
    return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error)
{
    *options = Options();
    bool outputGiven = false;
    bool endOfOptions = false;

    // Takes the value of an option that needs one: the rest of the word
    // ("-ofile", "--output=file") or else the next word.
    auto value = [&](int& i, const std::string& inlineValue, bool hasInline, const std::string& name,
                     std::string* out) {
        if (hasInline) {
            *out = inlineValue;
            return true;
        }
        if (i + 1 >= argc) {
            *error = "option " + name + " needs a value";
            return false;
        }
        *out = argv[++i];
        return true;
    };

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (endOfOptions || arg.size() < 2 || arg[0] != '-') {
            options->inputs.push_back(arg);  // "-" alone is a file name too
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        if (arg.compare(0, 2, "--") == 0) {
            size_t eq = arg.find('=');
            std::string name = arg.substr(0, eq);
            bool hasInline = eq != std::string::npos;
            std::string inlineValue = hasInline ? arg.substr(eq + 1) : std::string();
            std::string text;
            if (name == "--output") {
                if (!value(i, inlineValue, hasInline, name, &text))
                    return false;
                if (outputGiven) {
                    *error = "only one output file may be given";
                    return false;
                }
                options->output = text;
                outputGiven = true;
            } else if (name == "--jobs") {
                if (!value(i, inlineValue, hasInline, name, &text) || !ParseJobs(text, &options->jobs, error))
                    return false;
            } else if (hasInline && (name == "--force" || name == "--quiet" || name == "--help" ||
                                     name == "--version")) {
                *error = "option " + name + " takes no value";
                return false;
            } else if (name == "--force") {
                options->force = true;
            } else if (name == "--quiet") {
                options->quiet = true;
            } else if (name == "--help") {
                options->help = true;
            } else if (name == "--version") {
                options->version = true;
            } else {
                *error = "unknown option " + name;
                return false;
            }
            continue;
        }
        // A cluster of short options: "-qf", "-j4", "-oout.wav".
        for (size_t k = 1; k < arg.size(); ++k) {
            char c = arg[k];
            std::string rest = arg.substr(k + 1);
            std::string text;
            if (c == 'o' || c == 'j') {
                std::string name = std::string("-") + c;
                if (!value(i, rest, !rest.empty(), name, &text))
                    return false;
                if (c == 'o') {
                    if (outputGiven) {
                        *error = "only one output file may be given";
                        return false;
                    }
                    options->output = text;
                    outputGiven = true;
                } else if (!ParseJobs(text, &options->jobs, error)) {
                    return false;
                }
                break;  // the value used up the rest of the word
            }
            switch (c) {
            case 'f': options->force = true; break;
            case 'q': options->quiet = true; break;
            case 'h': options->help = true; break;
            case 'V': options->version = true; break;
            default:
                *error = std::string("unknown option -") + c;
                return false;
            }
        }
    }

    if (options->help || options->version)
        return true;
    if (options->inputs.empty()) {
        *error = "no input file given";
        return false;
    }
    if (outputGiven && options->output.empty()) {
        *error = "the output file name is empty";
        return false;
    }
    if (outputGiven && options->inputs.size() != 1) {
        *error = "-o needs exactly one input file, not " + std::to_string(options->inputs.size());
        return false;
    }
    return true;
}

std::string UsageText()
{
    return "Usage: quorvan [OPTION]... INPUT...\n"
           "       quorvan [OPTION]... INPUT -o OUTPUT\n"
           "Convert MPEG audio files (MPEG-1/2/2.5, Layers I-III: .mp3 .mp2 .mp1) into\n"
           "16-bit PCM WAV files at 44100 Hz, stereo.\n"
           "\n"
           "Without -o each WAV file goes beside its input, named after it (song.mp3\n"
           "gives songmp3.wav), or into the temporary folder when that name is taken;\n"
           "existing files are never replaced. Each success prints 'INPUT -> OUTPUT'.\n"
           "\n"
           "  -o, --output=FILE  write the WAV file to FILE (exactly one INPUT)\n"
           "  -f, --force        replace FILE if it exists (otherwise it is refused)\n"
           "  -j, --jobs=N       convert up to N files at once in separate processes\n"
           "                     (default: one per core)\n"
           "  -q, --quiet        print only errors: no success lines, no progress line\n"
           "  -h, --help         show this help and exit\n"
           "  -V, --version      show the version and exit\n"
           "\n"
           "On a terminal a progress line (files done, elapsed time, seconds of audio\n"
           "converted per second) is shown on standard error.\n"
           "\n"
           "The decoder modules libma32.so and libmasd32.so are looked for beside this\n"
           "program, then by the system loader (which includes the Quorvan library's\n"
           "own folder when installed), then in the current folder.\n"
           "\n"
           "Exit status: 0 if every file was converted, 1 if any file failed,\n"
           "2 on a usage error.\n";
}
