// How many threads one decoder instance may use: the value of
// QUORVAN_DECODER_THREADS when it is a whole number from 1 to kMaxThreads,
// else one per core this process may run on (its CPU affinity). With 1 the
// instance decodes on the caller's thread alone.
#ifndef QUORVAN_DECODERS_DECODERTHREADS_H
#define QUORVAN_DECODERS_DECODERTHREADS_H

namespace quorvan {

constexpr int kMaxDecoderThreads = 64;
constexpr const char* kDecoderThreadsVariable = "QUORVAN_DECODER_THREADS";

int DecoderThreads();

}  // namespace quorvan

#endif
