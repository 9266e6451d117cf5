// The words for what went wrong with a file.
#ifndef QUORVAN_TOOLS_MESSAGES_H
#define QUORVAN_TOOLS_MESSAGES_H

#include <string>

#include "Outcome.h"

// The meaning of one of DecodeMpegToWav's result codes, with the code:
// "no MPEG audio found in the file (code 9)".
std::string ResultCodeText(int code);

// The whole line for a failed file, without the newline:
// "quorvan: INPUT: no MPEG audio found in the file (code 9)".
std::string FailureLine(const std::string& input, const Outcome& outcome);

#endif
