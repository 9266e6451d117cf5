// Quorvan: converts one MPEG audio file (MPEG-1, 2, 2.5, Layers I-III) into
// one 16-bit PCM WAV file (44100 Hz, stereo).
#ifndef QUORVAN_H
#define QUORVAN_H

#include <afx.h>

#include "ResultCodes.h"

// Converts the MPEG audio file inputPath into a WAV file.
//
// outputPath names the WAV file to write (an existing file is overwritten), or
// is empty: the library then chooses the name and, on success only, stores it
// in outputPath. Returns 0 or one of the QuorvanResult codes.
//
// Loads the decoder modules ma32 and masd32 at every call. One conversion at a
// time per process: a call made while another runs waits for it to end.
extern "C" int DecodeMpegToWav(const CString& inputPath, CString& outputPath);

#endif
