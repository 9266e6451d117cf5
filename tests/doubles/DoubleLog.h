// Shared by the scripted ma32/masd32 test doubles: the call log and what the
// doubles can observe of the host process.
//
// Environment (read at every call, so a test can change it between runs):
//   QV_DOUBLE_LOG     file the doubles append one line per event to
//   QV_DOUBLE_SCRIPT  what masd_init and each masd_decode call do (masd32)
//   QV_DOUBLE_INPUT   the run's input file, QV_DOUBLE_OUTPUT its WAV file:
//                     events record whether the process has them open
#ifndef QUORVAN_DOUBLES_DOUBLELOG_H
#define QUORVAN_DOUBLES_DOUBLELOG_H

#include <string>

namespace doubles {

void Log(const std::string& line);

// " input=0|1 output=0|1": whether a descriptor of this process refers to the
// files named by QV_DOUBLE_INPUT / QV_DOUBLE_OUTPUT.
std::string OpenFiles();
// Whether a handle of this process refers to the file the variable names.
bool IsOpen(const char* variable);

}  // namespace doubles

#if defined(_WIN32)
#define DOUBLE_EXPORT extern "C" __declspec(dllexport)
#else
#define DOUBLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif
