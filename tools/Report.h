// What the run says about its files: one line per file, in input order (each
// as soon as every earlier file is done too), the notice of a WAV file that
// went to the temporary folder, the run's last line, and the exit status.
#ifndef QUORVAN_TOOLS_REPORT_H
#define QUORVAN_TOOLS_REPORT_H

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

#include "Outcome.h"
#include "OutputPlan.h"

// Whether the WAV file stays when the conversion ends so: a success, or one
// the library leaves as a valid (code 6) or unfinished (code 5) file.
bool KeepsFile(const Outcome& outcome);

class RunReport {
public:
    // inputs and plans outlive the report; quiet: only errors are printed.
    RunReport(const std::vector<std::string>& inputs, const std::vector<OutputPlan>& plans, bool quiet);

    // File i is done: its lines, and those of the later files done before
    // it, are printed.
    void Finished(size_t i, const Outcome& outcome);
    bool Done(size_t i) const { return m_known[i]; }

    // The run is over: the line naming what went to the temporary folder
    // (also when quiet), and the exit status for a run stopped by request
    // `stop` (0: not stopped).
    int End(int stop) const;

private:
    void Print(size_t i);

    const std::vector<std::string>& m_inputs;
    const std::vector<OutputPlan>& m_plans;
    bool m_quiet;
    std::vector<Outcome> m_outcomes;
    std::vector<bool> m_known;
    size_t m_printed = 0;
    bool m_anyFailed = false;
    // Inputs whose WAV file stayed in the temporary folder, with that file.
    std::vector<std::pair<std::string, std::string>> m_inTemporaryFolder;
};

#endif
