#ifndef QUORVAN_WAVE_SAMEFILE_H
#define QUORVAN_WAVE_SAMEFILE_H

// True when both paths name one existing file, however they are spelled
// (links, relative parts, case on case-blind file systems).
bool IsSameFile(const char* pathA, const char* pathB);

#endif
