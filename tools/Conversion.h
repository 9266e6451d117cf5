// One file through the library, as a worker process runs it.
#ifndef QUORVAN_TOOLS_CONVERSION_H
#define QUORVAN_TOOLS_CONVERSION_H

#include <stdint.h>

#include <string>

#include "Outcome.h"

// Converts input ("-": the standard input) into output with DecodeMpegToWav.
// When made is true the output file is this run's own and is removed if the
// worker is stopped before it is finished.
Outcome ConvertFile(const std::string& input, const std::string& output, bool made);

// The size of the data chunk of the WAV file at path, 0 when there is none.
uint64_t WavDataBytes(const std::string& path);

#endif
