// Stand-in for the buffered multimedia file I/O of <mmsystem.h> (winmm) and
// the wave-format record, on POSIX systems. Structures are laid out as on
// 32-bit Windows; all numbers in files are little-endian.
#ifndef QUORVAN_POSIX_MMSYSTEM_H
#define QUORVAN_POSIX_MMSYSTEM_H

#include <stdio.h>  // SEEK_SET, SEEK_CUR, SEEK_END
#include <windows.h>

typedef UINT MMRESULT;
typedef DWORD FOURCC;
typedef struct HMMIO__* HMMIO;

#define mmioFOURCC(c0, c1, c2, c3)                                          \
    ((FOURCC)(BYTE)(c0) | ((FOURCC)(BYTE)(c1) << 8) | ((FOURCC)(BYTE)(c2) << 16) | \
     ((FOURCC)(BYTE)(c3) << 24))
#define FOURCC_RIFF mmioFOURCC('R', 'I', 'F', 'F')
#define FOURCC_LIST mmioFOURCC('L', 'I', 'S', 'T')

#define MMSYSERR_NOERROR 0
#define MMIOERR_BASE 256
#define MMIOERR_FILENOTFOUND (MMIOERR_BASE + 1)
#define MMIOERR_OUTOFMEMORY (MMIOERR_BASE + 2)
#define MMIOERR_CANNOTOPEN (MMIOERR_BASE + 3)
#define MMIOERR_CANNOTCLOSE (MMIOERR_BASE + 4)
#define MMIOERR_CANNOTREAD (MMIOERR_BASE + 5)
#define MMIOERR_CANNOTWRITE (MMIOERR_BASE + 6)
#define MMIOERR_CANNOTSEEK (MMIOERR_BASE + 7)
#define MMIOERR_CANNOTEXPAND (MMIOERR_BASE + 8)
#define MMIOERR_CHUNKNOTFOUND (MMIOERR_BASE + 9)
#define MMIOERR_UNBUFFERED (MMIOERR_BASE + 10)
#define MMIOERR_PATHNOTFOUND (MMIOERR_BASE + 11)
#define MMIOERR_ACCESSDENIED (MMIOERR_BASE + 12)
#define MMIOERR_INVALIDFILE (MMIOERR_BASE + 16)

// mmioOpen flags
#define MMIO_READ 0x00000000
#define MMIO_WRITE 0x00000001
#define MMIO_READWRITE 0x00000002
#define MMIO_CREATE 0x00001000
#define MMIO_EXCLUSIVE 0x00000010
#define MMIO_ALLOCBUF 0x00010000
// mmioCreateChunk flags
#define MMIO_CREATERIFF 0x0020
#define MMIO_CREATELIST 0x0040
// MMCKINFO::dwFlags: the chunk was created and its size may need fixing
#define MMIO_DIRTY 0x10000000

// Buffer size used when MMIO_ALLOCBUF is given with cchBuffer 0.
// bench/mmio_bench compares sizes: from 256 KiB on, appending 9216-byte
// blocks runs about as fast as unbuffered write(2) of whole blocks or faster;
// 8-32 KiB buffers run at about half that.
#define MMIO_DEFAULTBUFFER 262144


typedef struct _MMIOINFO {
    DWORD dwFlags;
    FOURCC fccIOProc;
    void* pIOProc;
    UINT wErrorRet;  // why mmioOpenA failed
    void* htask;
    LONG cchBuffer;  // buffer size for MMIO_ALLOCBUF, 0 for the default
    char* pchBuffer;
    char* pchNext;
    char* pchEndRead;
    char* pchEndWrite;
    LONG lBufOffset;
    LONG lDiskOffset;
    DWORD adwInfo[3];
    DWORD dwReserved1;
    DWORD dwReserved2;
    HMMIO hmmio;
} MMIOINFO, *LPMMIOINFO;

typedef struct _MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    DWORD dwDataOffset;
    DWORD dwFlags;
} MMCKINFO, *LPMMCKINFO;

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

#define WAVE_FORMAT_PCM 1

#ifdef __cplusplus
extern "C" {
#endif

// Opens a file for buffered writing (MMIO_WRITE, with MMIO_CREATE truncating
// or creating it). Returns null on failure, with the reason in
// lpmmioinfo->wErrorRet when a record is given. Reading is not supported.
HMMIO WINAPI mmioOpenA(LPSTR pszFileName, LPMMIOINFO lpmmioinfo, DWORD fdwOpen);
// Writes cch bytes at the current position: returns cch, or -1 when any of
// them could not be written. After a failure the position is the end of what
// really reached the file.
LONG WINAPI mmioWrite(HMMIO hmmio, const char* pch, LONG cch);
// Returns the new position, or -1.
LONG WINAPI mmioSeek(HMMIO hmmio, LONG lOffset, int iOrigin);
// Writes the chunk header (identifier, lpck->cksize, and for a RIFF or LIST
// chunk the form type) at the current position and remembers where its data
// begins.
MMRESULT WINAPI mmioCreateChunk(HMMIO hmmio, LPMMCKINFO lpck, UINT wFlags);
// Leaves a chunk made by mmioCreateChunk: when its true size differs from
// lpck->cksize, writes a zero pad byte if that size is odd and patches the size
// field; then moves behind the chunk.
MMRESULT WINAPI mmioAscend(HMMIO hmmio, LPMMCKINFO lpck, UINT wFlags);
// Flushes and closes; the handle is gone whatever the result.
MMRESULT WINAPI mmioClose(HMMIO hmmio, UINT wFlags);

#ifdef __cplusplus
}
#endif

#endif
