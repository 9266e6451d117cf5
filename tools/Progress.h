// The progress line on a terminal: files done of the total, elapsed time,
// seconds of audio converted per second overall, and how far each running
// file is; redrawn in place, cut to the terminal's width.
#ifndef QUORVAN_TOOLS_PROGRESS_H
#define QUORVAN_TOOLS_PROGRESS_H

#include <stddef.h>
#include <stdio.h>

#include <chrono>
#include <map>
#include <string>

// A file being converted: its name as shown, the share of its input read
// (below 0 when unknown) and the seconds of audio written so far.
struct RunningFile {
    std::string label;
    double fraction = -1;
    double audioSeconds = 0;
};

// "2/5 files  0:07  31.4 s of audio per second  a.mp3 42%  b.mp3 12.5 s",
// at most width characters.
std::string FormatProgress(size_t done, size_t total, double elapsedSeconds, double audioSeconds,
                           const std::map<size_t, RunningFile>& running, size_t width);

class ProgressLine {
public:
    // Draws nothing at all unless enabled.
    ProgressLine(FILE* out, bool enabled, size_t total, size_t width);

    bool enabled() const { return m_enabled; }
    // Job i is running / has got this far. A share of the input once known
    // stays shown until the file is done, also when it can no longer be told
    // (the input is closed while the WAV file is finished).
    void Update(size_t job, const RunningFile& file);
    // Job i has finished, with that many seconds of audio (0 for a failure).
    void FileDone(size_t job, double audioSeconds);
    // Redraws the line.
    void Tick();
    // Removes the line, e.g. before printing other lines; the next Tick or
    // FileDone draws it again.
    void Clear();
    // The run is being stopped: the line goes and is never drawn again, so
    // that only the stop's own lines follow.
    void Stop();

private:
    void Draw();

    FILE* m_out;
    bool m_enabled;
    size_t m_total;
    size_t m_width;
    size_t m_done = 0;
    double m_audioSeconds = 0;
    std::map<size_t, RunningFile> m_running;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
};

#endif
