// The words for what went wrong with a file.
#ifndef QUORVAN_TOOLS_MESSAGES_H
#define QUORVAN_TOOLS_MESSAGES_H

#include <string>
#include <utility>
#include <vector>

#include "Outcome.h"

// The meaning of one of DecodeMpegToWav's result codes, with the code:
// "no MPEG audio found in the file (code 9)".
std::string ResultCodeText(int code);

// The whole line for a failed file, without the newline:
// "quorvan: INPUT: no MPEG audio found in the file (code 9)".
std::string FailureLine(const std::string& input, const Outcome& outcome);

// The run's last line when WAV files went to the temporary folder, naming
// each with its input: "quorvan: 1 of 3 WAV files went to the temporary
// folder, not beside its input: a.mp3 -> /tmp/Tmp3A7F.wav".
std::string TemporaryFolderLine(const std::vector<std::pair<std::string, std::string>>& inputsAndFiles,
                                size_t total);

#endif
