// The Visual C++ host test's surroundings: Quorvan.dll loaded from its
// build folder, the export found by name and by ordinal 1, a scratch folder
// with the input, and what the checks read back (WAV files, the modules).
#ifndef QUORVAN_VCHOST_HOSTRIG_H
#define QUORVAN_VCHOST_HOSTRIG_H

#include <afx.h>
#include <windows.h>

#include "StandInControls.h"

typedef int(__cdecl* PFNDECODEMPEGTOWAV)(const CString& inputPath, CString& outputPath);

struct HostRig {
    char libraryPath[MAX_PATH];  // Quorvan.dll, ma32.dll and masd32.dll beside it
    char libraryDir[MAX_PATH];
    char sample[MAX_PATH];
    char hostDir[MAX_PATH];  // this program's folder, with MFC42.DLL
    char scratch[MAX_PATH];  // a fresh folder, removed at the end
    char input[MAX_PATH];    // scratch\input.mp3, a copy of the sample
    char noModules[MAX_PATH];  // scratch\empty, a folder without modules
    HMODULE library;
    PFNDECODEMPEGTOWAV decode;        // found by name
    PFNDECODEMPEGTOWAV decodeByOrdinal;
    StandInControls mfc;

    // Loads the library by its full path, makes the scratch folder and works
    // in the library's folder, where the modules are. False, with a line
    // saying why, when any of it fails.
    bool Open(const char* quorvanDll, const char* sampleFile);
    void Close();

    // scratch\name
    void Path(char* path, const char* name) const;
    // Puts the sample back as the input (after a test deleted it).
    bool RestoreInput() const;
};

// Whether either decoder module is loaded in this process.
bool ModulesLoaded();

// A 44-byte PCM WAV header of 44100 Hz, 2 channels, 16 bits whose sizes
// match the file, and some audio after it.
bool IsGoodWave(const char* path);

// Deletes a file; true when it is gone (or was never there).
bool Remove(const char* path);
bool Exists(const char* path);

#endif
