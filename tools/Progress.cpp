// The progress line: "\r" and erase-to-end-of-line, nothing else of the
// terminal's; where there is no such escape, the line is padded with spaces.
#include "Progress.h"

#include "PlatformText.h"

namespace {

std::string Short(const std::string& label)
{
    size_t slash = label.find_last_of("/\\");
    std::string name = slash == std::string::npos ? label : label.substr(slash + 1);
    return name.size() > 24 ? name.substr(0, 11) + "..." + name.substr(name.size() - 10) : name;
}

}  // namespace

std::string FormatProgress(size_t done, size_t total, double elapsedSeconds, double audioSeconds,
                           const std::map<size_t, RunningFile>& running, size_t width)
{
    long whole = elapsedSeconds > 0 ? static_cast<long>(elapsedSeconds) : 0;
    char text[160];
    int n = snprintf(text, sizeof text, "%zu/%zu files  %ld:%02ld", done, total, whole / 60, whole % 60);
    if (elapsedSeconds > 0 && audioSeconds > 0)
        snprintf(text + n, sizeof text - n, "  %.1f s of audio per second", audioSeconds / elapsedSeconds);
    std::string line = text;
    for (const auto& job : running) {
        const RunningFile& f = job.second;
        if (f.fraction >= 0)
            snprintf(text, sizeof text, "%.0f%%", f.fraction > 1 ? 100.0 : f.fraction * 100);
        else
            snprintf(text, sizeof text, "%.1f s", f.audioSeconds);
        line += "  " + Short(f.label) + " " + text;
    }
    if (line.size() > width)
        line.resize(width);
    return line;
}

ProgressLine::ProgressLine(FILE* out, bool enabled, size_t total, size_t width)
    : m_out(out), m_enabled(enabled), m_total(total), m_width(width), m_start(std::chrono::steady_clock::now())
{
}

void ProgressLine::Update(size_t job, const RunningFile& file)
{
    auto known = m_running.find(job);
    double fraction = known != m_running.end() && file.fraction < 0 ? known->second.fraction : file.fraction;
    m_running[job] = file;
    m_running[job].fraction = fraction;
}

void ProgressLine::FileDone(size_t job, double audioSeconds)
{
    m_running.erase(job);
    ++m_done;
    m_audioSeconds += audioSeconds;
    Draw();
}

void ProgressLine::Tick()
{
    Draw();
}

void ProgressLine::Clear()
{
    if (!m_enabled || !m_shown)
        return;
    if (*kEraseToEndOfLine)
        fprintf(m_out, "\r%s", kEraseToEndOfLine);
    else
        fprintf(m_out, "\r%s\r", std::string(m_width, ' ').c_str());
    fflush(m_out);
    m_shown = false;
}

void ProgressLine::Stop()
{
    Clear();
    m_enabled = false;
}

void ProgressLine::Draw()
{
    if (!m_enabled)
        return;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_start;
    double audio = m_audioSeconds;
    for (const auto& job : m_running)
        audio += job.second.audioSeconds;
    std::string line = FormatProgress(m_done, m_total, elapsed.count(), audio, m_running, m_width);
    if (!*kEraseToEndOfLine)
        line.resize(m_width, ' ');
    fprintf(m_out, "\r%s%s", line.c_str(), kEraseToEndOfLine);
    fflush(m_out);
    m_shown = true;
}
