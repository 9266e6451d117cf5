// The lines of a run and its exit status.
#include "Report.h"

#include <stdio.h>

#include "Interrupt.h"
#include "Messages.h"
#include "Options.h"
#include "ResultCodes.h"

bool KeepsFile(const Outcome& outcome)
{
    if (outcome.Ok())
        return true;
    if (outcome.kind != Outcome::kLibraryError)
        return false;
    switch (outcome.code) {
#define QV_RESULT(name, code, about, keeps, message, meaning, left) \
    case name:                                                      \
        return keeps != 0;
#define QV_FIRST_RESULT QV_RESULT
#include "ResultCodes.def"
#undef QV_FIRST_RESULT
#undef QV_RESULT
    }
    return false;
}

RunReport::RunReport(const std::vector<std::string>& inputs, const std::vector<OutputPlan>& plans, bool quiet)
    : m_inputs(inputs), m_plans(plans), m_quiet(quiet), m_outcomes(inputs.size()), m_known(inputs.size(), false)
{
}

void RunReport::Finished(size_t i, const Outcome& outcome)
{
    m_outcomes[i] = outcome;
    m_known[i] = true;
    for (; m_printed < m_inputs.size() && m_known[m_printed]; ++m_printed)
        Print(m_printed);
}

void RunReport::Print(size_t i)
{
    const Outcome& o = m_outcomes[i];
    const OutputPlan& p = m_plans[i];
    const std::string& input = m_inputs[i];
    bool fileLeft = KeepsFile(o) && !p.path.empty() && !p.toStdout;
    if (fileLeft && !p.notice.empty()) {
        m_inTemporaryFolder.emplace_back(input, p.path);
        if (!m_quiet)
            fprintf(stderr, "quorvan: %s: %s, so the WAV file went to %s\n", input.c_str(), p.notice.c_str(),
                    p.path.c_str());
    }
    if (o.Ok()) {
        if (!m_quiet && !p.toStdout)
            printf("%s -> %s\n", input.c_str(), o.output.c_str());
    } else {
        m_anyFailed = true;
        std::string line = FailureLine(input, o);
        if (fileLeft)
            line += " (" + p.path + " holds the audio written before)";
        fprintf(stderr, "%s\n", line.c_str());
    }
    fflush(stdout);
    fflush(stderr);
}

int RunReport::End(int stop) const
{
    // Said last, and also when quiet: a script sees it in the exit status too.
    if (!m_inTemporaryFolder.empty())
        fprintf(stderr, "%s\n", TemporaryFolderLine(m_inTemporaryFolder, m_inputs.size()).c_str());
    if (stop != 0)
        return StopExitStatus(stop);
    if (m_anyFailed)
        return kExitSomeFailed;
    return m_inTemporaryFolder.empty() ? kExitAllConverted : kExitSomeInTemporaryFolder;
}
