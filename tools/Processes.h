// Questions about this process and the workers it runs (tools/linux/,
// tools/win32/).
#ifndef QUORVAN_TOOLS_PROCESSES_H
#define QUORVAN_TOOLS_PROCESSES_H

#include <stdint.h>

#include "Files.h"

// How far process pid has read in the file with that identity; false when it
// cannot be told.
bool ReadPosition(long pid, const FileId& file, uint64_t* position);

// The number of cores this process may run on (at least 1).
unsigned UsableCores();

#endif
