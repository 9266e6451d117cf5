// What became of one input file: converted, or why not.
#ifndef QUORVAN_TOOLS_OUTCOME_H
#define QUORVAN_TOOLS_OUTCOME_H

#include <stdint.h>

#include <string>

struct Outcome {
    enum Kind : int32_t {
        kConverted = 0,  // the WAV file was written
        kLibraryError,   // DecodeMpegToWav returned code
        kRefused,        // the command itself refused before the library ran;
                         // code is the result code that means the same
        kException,      // the library threw; detail says what
        kCrashed,        // the worker died by signal code
        kWorkerExited,   // the worker exited (status code) without reporting
        kNoWorker,       // no worker process could be started; detail says why
        kInterrupted     // the run was stopped by signal code before this file was done
    };

    Kind kind = kConverted;
    int32_t code = 0;         // the library's result code, a signal or an exit status
    std::string output;       // the WAV file written
    std::string detail;       // extra words for the message (the system's reason), shown when set
    uint64_t audioBytes = 0;  // sample bytes in the WAV file's data chunk

    bool Ok() const { return kind == kConverted; }
};

#endif
