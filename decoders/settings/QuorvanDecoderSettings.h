// The names of the settings the real decoder modules read from the process
// environment: the interface between the modules and those who set them for
// the modules (the quorvan command shares the cores among its workers
// through the first). What they mean: decoders/mpg123/DecoderThreads.h.
#ifndef QUORVAN_DECODER_SETTINGS_H
#define QUORVAN_DECODER_SETTINGS_H

namespace quorvan {

// Threads per decoder instance: a whole number from 1 to 64.
constexpr const char* kDecoderThreadsVariable = "QUORVAN_DECODER_THREADS";

}  // namespace quorvan

#endif
