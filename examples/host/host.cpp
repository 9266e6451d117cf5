// A complete minimal host of the Quorvan library: converts one file and prints the
// WAV file's name.
//   host INPUT [OUTPUT]
// Build it against Quorvan.h and link libQuorvan.so and the framework library
// it links, libqvafx.so (the strings cross the call): pkg-config quorvan or
// find_package(Quorvan) give both. On Windows, against the package's
// include\Quorvan.h, linking lib\Quorvan.lib (Visual C++, /MD /D_AFXDLL) or
// lib\libQuorvan.dll.a (mingw-w64). A Windows host in the Visual C++ style
// that loads the library at run time is in examples/win32-host/.
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
        // The one exception the library lets through, the framework's.
        e->Delete();
        fprintf(stderr, "host: out of memory\n");
        return 1;
    }
}
