// The words of the messages and the help that differ between systems. One
// definition per platform.
#ifndef QUORVAN_TOOLS_PLATFORMTEXT_H
#define QUORVAN_TOOLS_PLATFORMTEXT_H

// The decoder modules' files: "libma32.so, libmasd32.so".
extern const char* const kDecoderModuleFiles;

// The terminal's escape that erases to the end of the line; empty where the
// progress line is padded with spaces instead.
extern const char* const kEraseToEndOfLine;

// The help's lines on where a derived name is never used, on stopping the command, on where the modules are looked for and
// on the exit status when stopped; each ends in a newline.
extern const char* const kHelpNaming;
extern const char* const kHelpStopping;
extern const char* const kHelpModules;
extern const char* const kHelpStoppedExitStatus;

#endif
