// Why the last lookup of the loader stand-in failed, for QvLoaderError().
#ifndef QUORVAN_PLATFORM_POSIX_LOADERERROR_H
#define QUORVAN_PLATFORM_POSIX_LOADERERROR_H

#include <string>

// Records the reason of the last failed lookup of this thread ("" after a
// success).
void SetLoaderError(const std::string& text);

#endif
