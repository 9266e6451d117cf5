// Command-line parsing with getopt_long: GNU-style short and long options,
// which may appear before, between or after the input files; "--" ends the
// options; "-" alone is the standard input (or, after -o, output).
#include "Options.h"

#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>

#include "PlatformText.h"
#include "ResultCodes.h"

namespace {

const unsigned kMaxJobs = 1024;

// One line for each code of ResultCodes.def but 0, in the message's words.
std::string ResultCodesHelp()
{
    std::string text = "Result codes in messages:\n";
    char line[32];
#define QV_FIRST_RESULT(name, code, about, keeps, message, meaning, left)
#define QV_RESULT(name, code, about, keeps, message, meaning, left) \
    snprintf(line, sizeof line, "  %2d  ", code);                   \
    text += line + std::string(message) + (keeps ? " (the file is kept)" : "") + "\n";
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
    size_t modules = text.find(" ({modules})");
    if (modules != std::string::npos)
        text.erase(modules, 12);
    return text;
}

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

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'}, {"jobs", required_argument, nullptr, 'j'},
    {"force", no_argument, nullptr, 'f'},        {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
    {"worker-of", required_argument, nullptr, 'W'}, {nullptr, 0, nullptr, 0}};

// The internal option, only as the command writes it: never abbreviated, and
// not for the user (an unknown option to anyone who types it otherwise).
const char kWorkerOption[] = "--worker-of=";

// The option as the user wrote it, for a message: the long option's word up
// to any "=", else the letter.
std::string Spelled(char* const* argv, int shortOption)
{
    std::string word = optind > 0 ? argv[optind - 1] : "";
    if (word.compare(0, 2, "--") == 0)
        return word.substr(0, word.find('='));
    return std::string("-") + static_cast<char>(shortOption);
}

// Why getopt_long refused an option: c is ':' for an option whose value is
// missing, else the option is unknown. A long option that takes no value but
// was given one has its letter in optopt, reported as unknown by GNU's
// getopt_long and as missing a value by mingw-w64's.
std::string RefusedOption(char* const* argv, int c)
{
    std::string name = Spelled(argv, optopt);
    bool takesNone = false;
    for (const option* o = kLongOptions; o->name; ++o)
        takesNone = takesNone ||
                    (optopt != 0 && o->val == optopt && o->has_arg == no_argument && name.compare(0, 2, "--") == 0);
    return takesNone ? "option " + name + " takes no value"
           : c == ':' ? "option " + name + " needs a value"
                      : "unknown option " + name;
}

// The options and the inputs as written, each option checked on its own.
bool ReadOptions(int argc, const char* const* argv, Options* options, bool* outputGiven, std::string* error)
{
    // getopt_long reorders the pointers (never the words): it gets a copy.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(const_cast<char*>(argv[i]));
    args.push_back(nullptr);
    optind = 0;  // start afresh, whatever an earlier call left
    opterr = 0;
    for (int c; (c = getopt_long(argc, args.data(), ":o:j:fqhV", kLongOptions, nullptr)) != -1;) {
        switch (c) {
        case 'o':
            if (*outputGiven) {
                *error = "only one output file may be given";
                return false;
            }
            options->output = optarg;
            *outputGiven = true;
            break;
        case 'j':
            if (!ParseJobs(optarg, &options->jobs, error))
                return false;
            break;
        case 'f': options->force = true; break;
        case 'q': options->quiet = true; break;
        case 'h': options->help = true; break;
        case 'V': options->version = true; break;
        case 'W':
            if (std::string(args[optind - 1]).compare(0, sizeof kWorkerOption - 1, kWorkerOption) != 0) {
                *error = "unknown option --worker-of";
                return false;
            }
            options->workerOf = optarg;
            break;
        default: *error = RefusedOption(args.data(), c); return false;
        }
    }
    for (int i = optind; i < argc; ++i)
        options->inputs.push_back(args[i]);
    return true;
}

// The options together: what a run needs of its inputs and its output.
bool CheckRun(const Options& options, bool outputGiven, std::string* error)
{
    if (options.inputs.empty())
        *error = "no input file given";
    else if (outputGiven && options.output.empty())
        *error = "the output file name is empty";
    else if (outputGiven && options.inputs.size() != 1)
        *error = "-o needs exactly one input file, not " + std::to_string(options.inputs.size());
    for (const std::string& input : options.inputs)
        if (error->empty() && input == "-" && !outputGiven)
            *error = "the standard input (-) needs -o (a file, or - for the standard output)";
    return error->empty();
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error)
{
    *options = Options();
    error->clear();
    bool outputGiven = false;
    if (!ReadOptions(argc, argv, options, &outputGiven, error))
        return false;
    return options->help || options->version || !options->workerOf.empty() || CheckRun(*options, outputGiven, error);
}

std::string UsageText()
{
    return std::string("Usage: quorvan [OPTION]... INPUT...\n"
                       "       quorvan [OPTION]... INPUT -o OUTPUT\n"
                       "Convert MPEG audio files (MPEG-1/2/2.5, Layers I-III: .mp3 .mp2 .mp1) into\n"
                       "16-bit PCM WAV files at 44100 Hz, stereo.\n"
                       "\n"
                       "Without -o each WAV file goes beside its input, named after it (song.mp3\n"
                       "gives songmp3.wav). When that name is taken (and -f was not given), is\n") +
           kHelpNaming +
           "standard error says so; a last line names every such file, also with -q.\n"
           "Each success prints 'INPUT -> OUTPUT'.\n"
           "An INPUT of - is the standard input (needs -o); -o - writes the WAV file\n"
           "to the standard output as it is decoded (into a pipe with the sizes of a\n"
           "WAV file of unknown length, 0xFFFFFFFF).\n"
           "\n"
           "  -o, --output=FILE  write the WAV file to FILE (exactly one INPUT)\n"
           "  -f, --force        replace an existing FILE, or without -o the name\n"
           "                     beside the input (otherwise the name is not used)\n"
           "  -j, --jobs=N       convert up to N files at once in separate processes\n"
           "                     (default: one per core)\n"
           "  -q, --quiet        print only errors: no success lines, no notices,\n"
           "                     no progress line\n"
           "  -h, --help         show this help and exit\n"
           "  -V, --version      show the version and exit\n"
           "\n"
           "On a terminal a progress line (files done, elapsed time, seconds of audio\n"
           "converted per second, how far each running file is) is shown on standard\n"
           "error.\n"
           "\n" +
           kHelpStopping + "\n" + ResultCodesHelp() + "\n" + kHelpModules +
           "\n"
           "Exit status: 0 if every file was converted, 1 if any file failed, 3 if\n"
           "every file was converted but some went to the temporary folder,\n" +
           kHelpStoppedExitStatus + "See quorvan(1) for more.\n";
}
