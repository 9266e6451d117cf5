#include "PlatformText.h"

const char* const kDecoderModuleFiles = "libma32.so, libmasd32.so";

const char* const kEraseToEndOfLine = "\033[K";

const char* const kHelpNaming =
    "written by another input of the same run, or lies in /dev, /proc or /sys,\n"
    "the file goes into the temporary folder as Tmp<hex>.wav, and a line on\n";

const char* const kHelpStopping =
    "Ctrl-C (or SIGTERM, SIGHUP) stops every conversion at once and removes the\n"
    "files they had begun; only a file that -f was replacing stays, unfinished.\n";

const char* const kHelpModules =
    "The decoder modules libma32.so and libmasd32.so are looked for beside this\n"
    "program, then by the system loader (which includes the Quorvan library's\n"
    "own folder when installed), then in the current folder.\n";

const char* const kHelpStoppedExitStatus =
    "2 on a usage error, 128 + the signal's number when stopped by a signal\n"
    "(130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP), 141 when the reader of\n"
    "-o - went away.\n";
