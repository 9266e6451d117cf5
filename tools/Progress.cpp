// The progress line: "\r" and erase-to-end-of-line, nothing else of the
// terminal's.
#include "Progress.h"

std::string FormatProgress(size_t done, size_t total, double elapsedSeconds, double audioSeconds)
{
    long whole = elapsedSeconds > 0 ? static_cast<long>(elapsedSeconds) : 0;
    char text[128];
    int n = snprintf(text, sizeof text, "%zu/%zu files  %ld:%02ld", done, total, whole / 60, whole % 60);
    if (elapsedSeconds > 0 && audioSeconds > 0)
        snprintf(text + n, sizeof text - n, "  %.1f s of audio per second", audioSeconds / elapsedSeconds);
    return text;
}

ProgressLine::ProgressLine(FILE* out, bool enabled, size_t total)
    : out_(out), enabled_(enabled), total_(total), start_(std::chrono::steady_clock::now())
{
}

void ProgressLine::FileDone(double audioSeconds)
{
    ++done_;
    audioSeconds_ += audioSeconds;
    Draw();
}

void ProgressLine::Tick()
{
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_);
    if (!shown_ || elapsed.count() != shownSecond_)
        Draw();
}

void ProgressLine::Clear()
{
    if (!enabled_ || !shown_)
        return;
    fputs("\r\033[K", out_);
    fflush(out_);
    shown_ = false;
}

void ProgressLine::Draw()
{
    if (!enabled_)
        return;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    shownSecond_ = static_cast<long>(elapsed.count());
    fprintf(out_, "\r%s\033[K", FormatProgress(done_, total_, elapsed.count(), audioSeconds_).c_str());
    fflush(out_);
    shown_ = true;
}
