// What the fuzz targets share: a contract violation stops the run with a
// message, which libFuzzer (or the replay) reports as a crash.
#ifndef QUORVAN_FUZZ_FUZZCHECK_H
#define QUORVAN_FUZZ_FUZZCHECK_H

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition, ...)                                         \
    do {                                                                  \
        if (!(condition)) {                                               \
            fprintf(stderr, "contract broken: %s: ", #condition);         \
            fprintf(stderr, __VA_ARGS__);                                 \
            fputc('\n', stderr);                                          \
            abort();                                                      \
        }                                                                 \
    } while (0)

#endif
