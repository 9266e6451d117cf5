// The binary contract between the converter and the decoder modules
// ma32.dll / masd32.dll (libma32.so / libmasd32.so on POSIX).
//
// The converter calls three entry points of masd32 and resolves fifteen more
// by name without calling them. Everything here is plain C so that a module
// built by any compiler can honour it.
#ifndef QUORVAN_CONVERTER_DECODERAPI_H
#define QUORVAN_CONVERTER_DECODERAPI_H

#include <stdint.h>
#include <windows.h>  // CDECL

#ifdef __cplusplus
extern "C" {
#endif

// Six byte-wide parameters, passed by value to masd_init.
typedef struct DecoderParams {
    uint8_t b[6];
} DecoderParams;

// One decoded block: first count x second count 16-bit samples in *samples.
// The converter's decoders use first = channels, second = frames.
typedef struct PcmBlock {
    uint32_t first;
    uint32_t second;
    void* samples;
} PcmBlock;

// Side data of a decode call. The converter never reads it.
typedef struct AuxBlock {
    uint32_t count;
    void* data;
} AuxBlock;

typedef void* DecoderHandle;

// Reads up to *length bytes of the input into buffer and stores the number
// read in *length. Returns 0 when all were read, DECODER_READ_SHORT otherwise
// (end of input or a read error).
typedef int(CDECL* DecoderReadCallback)(void* buffer, uint32_t* length);

typedef int(CDECL* MasdInitFn)(DecoderParams params, DecoderReadCallback callback,
                               uint32_t* initWord, DecoderHandle* decoder);
typedef int(CDECL* MasdDecodeFn)(uint32_t* frameWord, PcmBlock* pcm, AuxBlock* aux,
                                 DecoderHandle decoder);
typedef int(CDECL* MasdCloseFn)(DecoderHandle* decoder);

enum {
    DECODER_OK = 0,            // masd_init succeeded / masd_decode delivered a block
    DECODER_END = 1001,        // masd_decode: end of the stream
    DECODER_READ_SHORT = -13,  // read callback: fewer bytes than asked for
    DECODER_SAMPLE_BUFFER_BYTES = 9216,  // capacity of PcmBlock::samples
    DECODER_AUX_BUFFER_BYTES = 128       // capacity of AuxBlock::data
};

#ifdef __cplusplus
}
#endif

#endif
