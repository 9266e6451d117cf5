// Naming the WAV file when the caller gave none: the library's rule, which
// the command follows too (it links these as quorvan_naming).
#ifndef QUORVAN_NAMING_OUTPUTNAMING_H
#define QUORVAN_NAMING_OUTPUTNAMING_H

#include <afx.h>

// The name next to the input: its folder, its base name with the extension's
// letters run on (a lone dot is dropped), then ".wav".
//   C:\Music\song.mp3 -> C:\Music\songmp3.wav, a.b.mp2 -> a.bmp2.wav
CString DeriveOutputPath(const CString& inputPath);

// A name "Tmp<hex>.wav" in the temporary directory that no file or folder
// has; empty when none could be had. Leaves no file behind.
CString TemporaryOutputPath();

// The derived name when a new file can be made there (it is made and removed
// again; a name already taken is never touched), else TemporaryOutputPath().
CString ChooseOutputName(const CString& inputPath);

#endif
