// How many decoding threads each worker's decoder module may start, so that
// the workers together use the cores once and never oversubscribe them.
#ifndef QUORVAN_TOOLS_WORKERTHREADS_H
#define QUORVAN_TOOLS_WORKERTHREADS_H

#include <stddef.h>

// Threads per worker: the cores divided among the workers that will run at
// once (no more than there are jobs), at least one.
unsigned ThreadsPerWorker(unsigned cores, unsigned workers, size_t jobs);

// Sets the decoder modules' variable for their number of threads
// (QuorvanDecoderSettings.h) for the workers to inherit, unless the user set it.
void ShareCoresAmongWorkers(unsigned cores, unsigned workers, size_t jobs);

#endif
