// host.cpp: a Visual C++ host of Quorvan.dll. Converts one MPEG audio file
// into a WAV file and prints the WAV file's name.
//   host INPUT [OUTPUT]
// Without OUTPUT the library names the file (song.mp3 gives songmp3.wav).
// Quorvan.dll, ma32.dll and masd32.dll lie beside host.exe; the strings are
// MFC42.DLL's own CStrings (see README.md). The library is loaded at run
// time: Quorvan.h gives the function's type and the result codes only.
#include <afx.h>
#include <stdio.h>

#define QUORVAN_DYNAMIC_LOAD
#include "Quorvan.h"

int main(int argc, char* argv[])
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: host INPUT [OUTPUT]\n");
        return 2;
    }
    HMODULE hQuorvan = LoadLibraryA("Quorvan.dll");
    if (hQuorvan == NULL) {
        fprintf(stderr, "host: Quorvan.dll cannot be loaded (error %lu)\n", GetLastError());
        return 1;
    }
    PFNDECODEMPEGTOWAV pfnDecodeMpegToWav =
        (PFNDECODEMPEGTOWAV)GetProcAddress(hQuorvan, "DecodeMpegToWav");
    if (pfnDecodeMpegToWav == NULL) {
        fprintf(stderr, "host: Quorvan.dll has no DecodeMpegToWav\n");
        FreeLibrary(hQuorvan);
        return 1;
    }

    int nExitCode = 1;
    try {
        CString strInput(argv[1]);
        CString strOutput;  // empty: the library chooses the name
        if (argc == 3)
            strOutput = argv[2];
        int nResult = pfnDecodeMpegToWav(strInput, strOutput);
        if (nResult == QV_OK) {
            printf("%s\n", (LPCTSTR)strOutput);
            nExitCode = 0;
        } else {
            fprintf(stderr, "host: %s: conversion failed with code %d\n", argv[1], nResult);
        }
    } catch (CMemoryException* e) {
        // Raised in MFC42.DLL; the library has released its modules and
        // closed its files by the time it arrives here.
        e->Delete();
        fprintf(stderr, "host: %s: out of memory\n", argv[1]);
    } catch (CException* e) {
        e->Delete();
        fprintf(stderr, "host: %s: the conversion failed\n", argv[1]);
    }
    FreeLibrary(hQuorvan);
    return nExitCode;
}
