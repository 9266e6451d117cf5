// Result codes of DecodeMpegToWav and of every stage of a conversion.
#ifndef QUORVAN_CONVERTER_RESULTCODES_H
#define QUORVAN_CONVERTER_RESULTCODES_H

enum QuorvanResult {
    QV_OK = 0,
    QV_ERR_OPEN_INPUT = 1,    // the input file cannot be opened for reading
    QV_ERR_CLOSE_INPUT = 3,   // closing the input file failed (never returned)
    QV_ERR_CREATE_WAVE = 4,   // the WAV file cannot be created or its headers written
    QV_ERR_CLOSE_WAVE = 5,    // the WAV file cannot be finished
    QV_ERR_WRITE_BLOCK = 6,   // a decoded block cannot be written to the WAV file
    QV_ERR_LOAD_MODULES = 7,  // neither decoder module can be loaded
    QV_ERR_ENTRY_POINT = 8,   // a required decoder entry point is missing
    QV_ERR_NO_AUDIO = 9,      // the stream ended before any block was decoded
    QV_ERR_DECODER_INIT = 10  // the decoder cannot be initialised
};

#endif
