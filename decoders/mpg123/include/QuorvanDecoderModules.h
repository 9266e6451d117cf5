// The entry points of the decoder modules libmasd32.so / masd32.dll and
// libma32.so / ma32.dll. The types and constants come from the converter's
// DecoderApi.h.
//
// masd32 decodes. A run is masd_init, then masd_decode until it returns
// DECODER_END, then masd_close:
//   - the first masd_decode that returns DECODER_OK reports that a stream was
//     found and delivers an empty block; every later DECODER_OK delivers
//     audio: pcm->first = 2 channels, pcm->second = frames, 44100 Hz signed
//     16-bit interleaved, at most DECODER_SAMPLE_BUFFER_BYTES bytes written to
//     pcm->samples;
//   - MASD_ERR_FRAME means input was skipped (junk, a damaged frame); the block
//     is empty and the next call goes on;
//   - DECODER_END comes before any DECODER_OK when the input holds no MPEG
//     audio, and always comes eventually.
// ma32 describes the fields of a 32-bit MPEG audio frame header (its first four
// bytes read big-endian, sync bits at the top) in words. Every string it
// returns is static; a header that is not a valid frame header gives
// "invalid" from each helper.
#ifndef QUORVAN_DECODER_MODULES_H
#define QUORVAN_DECODER_MODULES_H

#include <stdint.h>

#include "DecoderApi.h"

#if defined(_WIN32)
#define MASD_EXPORT __declspec(dllexport)
#else
#define MASD_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    MASD_ERR_FRAME = 1002,     // masd_decode: input skipped, block empty, go on
    MASD_ERR_ARGUMENT = 1003,  // masd_init: a null pointer
    MASD_ERR_MEMORY = 1004,    // masd_init: out of memory
    MASD_ERR_DECODER = 1005    // masd_init: libmpg123 could not be set up
};

// ---- masd32 -----------------------------------------------------------------

// Creates a decoder that reads its input only through callback. params is not
// used. *initWord is set to 0. Returns 0 with the instance in *decoder, or an
// error value with *decoder left null. The instance uses as many threads as
// QUORVAN_DECODER_THREADS says when masd_init is called (default: one per core
// of the process's affinity); only one of them ever calls the callback, and
// the results are the same with any number.
MASD_EXPORT int CDECL masd_init(DecoderParams params, DecoderReadCallback callback,
                                uint32_t* initWord, DecoderHandle* decoder);

// Decodes the next block (see above). *frameWord receives the 32-bit header of
// the last MPEG frame decoded (0 before any), which the ma32 helpers
// describe; aux->count is set to 0.
MASD_EXPORT int CDECL masd_decode(uint32_t* frameWord, PcmBlock* pcm, AuxBlock* aux,
                                  DecoderHandle decoder);

// Releases the decoder in *decoder (null is accepted) and sets *decoder to null;
// its threads are joined first, so the read callback is not called afterwards.
// Returns 0.
MASD_EXPORT int CDECL masd_close(DecoderHandle* decoder);

// Size in bytes, header included, of the last MPEG frame decoded; 0 before the
// first frame or for a null decoder.
MASD_EXPORT uint32_t CDECL masd_getFrameSize(DecoderHandle decoder);

// Drops all buffered input and output and searches for the stream afresh from
// the next input byte (a stream found again is confirmed again, but no second
// empty block is delivered). With several threads, what the decoder thread had
// already taken and decoded ahead counts as buffered (up to a few hundred KiB
// of input); what was read but not yet decoded is kept. Returns 0, or
// MASD_ERR_ARGUMENT / MASD_ERR_DECODER.
MASD_EXPORT int CDECL masd_flushAndResync(DecoderHandle decoder);

// "masd32 <module version> (libmpg123 API <its API version>, libsoxr <version>)".
MASD_EXPORT const char* CDECL masd_versionString(void);

// ---- ma32 -------------------------------------------------------------------

// "MPEG-1", "MPEG-2", "MPEG-2.5".
MASD_EXPORT const char* CDECL ma_mpegIDString(uint32_t header);
// "Layer I", "Layer II", "Layer III".
MASD_EXPORT const char* CDECL ma_mpegLayerString(uint32_t header);
// "CRC protected", "not protected".
MASD_EXPORT const char* CDECL ma_mpegProtectionString(uint32_t header);
// "padded", "not padded".
MASD_EXPORT const char* CDECL ma_mpegPaddingString(uint32_t header);
// "private bit set", "private bit clear".
MASD_EXPORT const char* CDECL ma_mpegPrivateString(uint32_t header);
// "stereo", "joint stereo", "dual channel", "mono".
MASD_EXPORT const char* CDECL ma_mpegModeString(uint32_t header);
// Joint stereo only, else "none". Layers I and II: "bands 4-31", "bands 8-31",
// "bands 12-31", "bands 16-31"; Layer III: "intensity off, M/S off",
// "intensity on, M/S off", "intensity off, M/S on", "intensity on, M/S on".
MASD_EXPORT const char* CDECL ma_mpegModeExtString(uint32_t header);
// "copyrighted", "not copyrighted".
MASD_EXPORT const char* CDECL ma_mpegCopyrightString(uint32_t header);
// "original", "copy".
MASD_EXPORT const char* CDECL ma_mpegOriginalCopyString(uint32_t header);
// "none", "50/15 us", "reserved", "CCITT J.17".
MASD_EXPORT const char* CDECL ma_mpegEmphasisString(uint32_t header);
// "44100 Hz" and the like.
MASD_EXPORT const char* CDECL ma_mpegSampleFreqString(uint32_t header);
// "128 kbps" and the like, or "free format".
MASD_EXPORT const char* CDECL ma_mpegBitrateString(uint32_t header);

#ifdef __cplusplus
}
#endif

#endif
