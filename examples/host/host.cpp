// A complete minimal host of Quorvan.dll: converts one file and prints the
// WAV file's name.
//   host INPUT [OUTPUT]
// Build it against Quorvan.h and link Quorvan.dll and qvafx.dll (the same
// qvafx.dll the library links: the strings cross the call). At run time
// ma32.dll and masd32.dll are looked for beside the program first.
#include <afx.h>
#include <stdio.h>

#include <Quorvan.h>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: host INPUT [OUTPUT]\n");
        return 2;
    }
    try {
        CString input(argv[1]);
        CString output(argc == 3 ? argv[2] : "");  // empty: the library names the file
        int result = DecodeMpegToWav(input, output);
        if (result != 0) {
            fprintf(stderr, "host: conversion failed with code %d\n", result);
            return 1;
        }
        printf("%s\n", static_cast<LPCSTR>(output));
        return 0;
    } catch (CMemoryException* e) {
        // The one exception the library lets through, thrown by qvafx.dll.
        e->Delete();
        fprintf(stderr, "host: out of memory\n");
        return 1;
    }
}
