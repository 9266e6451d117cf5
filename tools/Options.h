// The command line of quorvan.
#ifndef QUORVAN_TOOLS_OPTIONS_H
#define QUORVAN_TOOLS_OPTIONS_H

#include <string>
#include <vector>

struct Options {
    std::vector<std::string> inputs;
    std::string output;  // -o; empty: the library chooses
    unsigned jobs = 0;   // -j; 0: one per core
    bool force = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    // Internal, not in the help: --worker-of=VALUE makes this process a
    // worker of the command that VALUE names (WorkerProcess.h); the command
    // starts its workers so, and nothing else is given then.
    std::string workerOf;
};

// Parses argv[1..argc-1]. Returns false with a one-line reason in *error on a
// usage error.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// The --help text.
std::string UsageText();

// Exit statuses of the command.
// kExitSomeInTemporaryFolder: every file was converted, but some went to the
// temporary folder because their name beside the input could not be used.
enum ExitStatus { kExitAllConverted = 0, kExitSomeFailed = 1, kExitUsage = 2, kExitSomeInTemporaryFolder = 3 };

#endif
