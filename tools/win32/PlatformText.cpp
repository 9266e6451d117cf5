#include "PlatformText.h"

const char* const kDecoderModuleFiles = "ma32.dll, masd32.dll";

// Consoles before Windows 10 (and wine's) show escapes as they are.
const char* const kEraseToEndOfLine = "";

const char* const kHelpNaming =
    "written by another input of the same run, or is a device (\\\\.\\NAME),\n"
    "the file goes into the temporary folder as Tmp<hex>.wav, and a line on\n";

const char* const kHelpStopping =
    "Ctrl-C, Ctrl-Break or closing the console stops every conversion at once and\n"
    "removes the files they had begun; only a file that -f was replacing stays,\n"
    "unfinished.\n";

const char* const kHelpModules =
    "The decoder modules ma32.dll and masd32.dll are looked for beside this\n"
    "program first, then in the system folders, the current folder and PATH.\n";

const char* const kHelpStoppedExitStatus =
    "2 on a usage error, 130 when stopped by Ctrl-C, 149 by Ctrl-Break, 129 when\n"
    "the console was closed, 143 at logoff or shutdown, 141 when the reader of\n"
    "-o - went away.\n";
