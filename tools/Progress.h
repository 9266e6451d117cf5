// The progress line on a terminal: files done of the total, elapsed time and
// seconds of audio converted per second, redrawn in place.
#ifndef QUORVAN_TOOLS_PROGRESS_H
#define QUORVAN_TOOLS_PROGRESS_H

#include <stddef.h>
#include <stdio.h>

#include <chrono>
#include <string>

// "2/5 files  0:07  31.4 s of audio per second"
std::string FormatProgress(size_t done, size_t total, double elapsedSeconds, double audioSeconds);

class ProgressLine {
public:
    // Draws nothing at all unless enabled.
    ProgressLine(FILE* out, bool enabled, size_t total);

    // A file has finished, with that many seconds of audio (0 for a failure).
    void FileDone(double audioSeconds);
    // Redraws when the shown elapsed time would change.
    void Tick();
    // Removes the line, e.g. before printing other lines; the next Tick or
    // FileDone draws it again.
    void Clear();

private:
    void Draw();

    FILE* out_;
    bool enabled_;
    size_t total_;
    size_t done_ = 0;
    double audioSeconds_ = 0;
    bool shown_ = false;
    long shownSecond_ = -1;
    std::chrono::steady_clock::time_point start_;
};

#endif
