// Quorvan: converts one MPEG audio file (MPEG-1, 2, 2.5, Layers I-III) into
// one 16-bit PCM WAV file (44100 Hz, stereo).
//
// On Windows the strings are MFC42.DLL's CString: the host is a release, ANSI
// program built against the shared MFC library (Visual C++ 6.0 or later,
// /MD /D_AFXDLL, no _DEBUG, no _UNICODE). It includes this header and links
// Quorvan.lib; or it defines QUORVAN_DYNAMIC_LOAD before including it, gets
// only the function's type and finds the function with LoadLibrary and
// GetProcAddress. The header is C++98.
#ifndef QUORVAN_H
#define QUORVAN_H

#include <afx.h>

#include "ResultCodes.h"

// C's calling convention (the caller removes the arguments), whatever the
// host's default (/Gz, /Gr).
#ifdef _WIN32
#define QUORVAN_CALL __cdecl
#else
#define QUORVAN_CALL
#endif

// Imported from Quorvan.dll on Windows; the library's own build defines
// QUORVAN_BUILDING_LIBRARY.
#if defined(_WIN32) && !defined(QUORVAN_BUILDING_LIBRARY)
#define QUORVAN_API __declspec(dllimport)
#else
#define QUORVAN_API
#endif

// DecodeMpegToWav's type, for GetProcAddress (by name, or by ordinal 1).
typedef int(QUORVAN_CALL* PFNDECODEMPEGTOWAV)(const CString& inputPath, CString& outputPath);

#ifndef QUORVAN_DYNAMIC_LOAD
// Converts the MPEG audio file inputPath into a WAV file.
//
// outputPath names the WAV file to write (an existing file is overwritten), or
// is empty: the library then chooses the name and, on success only, stores it
// in outputPath. Returns 0 or one of the QuorvanResult codes. Out of memory
// throws the framework's CMemoryException*, after the call has released all
// it held.
//
// Loads the decoder modules ma32 and masd32 at every call. One conversion at a
// time per process: a call made while another runs waits for it to end.
extern "C" QUORVAN_API int QUORVAN_CALL DecodeMpegToWav(const CString& inputPath, CString& outputPath);
#endif

#endif
