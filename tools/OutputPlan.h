// Where each input's WAV file goes. The command chooses and claims every name
// itself before the library runs, so that no two conversions of one run end
// in the same file, a name that was taken is reported, and a file the run
// made can be removed again if the conversion does not finish. The names are
// the library's own (its derivation and its Tmp<hex>.wav fallback).
#ifndef QUORVAN_TOOLS_OUTPUTPLAN_H
#define QUORVAN_TOOLS_OUTPUTPLAN_H

#include <string>
#include <vector>

#include "Files.h"
#include "Outcome.h"

struct OutputPlan {
    std::string path;      // handed to the library
    FileId id;             // the file at path
    bool created = false;  // made by this run (else an existing file that -f replaces)
    bool toStdout = false; // path is a staging file for the standard output
    std::string notice;    // why the file is not beside the input; empty when it is
};

class OutputPlanner {
public:
    // output: the -o name, "-" for the standard output, empty to derive.
    OutputPlanner(const std::string& output, bool force) : m_output(output), m_force(force) {}

    // Chooses and claims the output for input; false with the refusal in
    // *refused when there is none.
    bool Plan(const std::string& input, OutputPlan* plan, Outcome* refused);

    // The conversion is over: a file this run made is removed unless kept.
    void Release(const OutputPlan& plan, bool keep);

private:
    bool Claimed(const FileId& id) const;
    // Makes path as a new file and claims it.
    bool ClaimNew(const std::string& path, OutputPlan* plan, bool* exists, std::string* error);
    bool Claim(const std::string& input, const std::string& path, OutputPlan* plan, Outcome* refused);
    bool Temporary(OutputPlan* plan, std::string* error);
    bool Derived(const std::string& input, OutputPlan* plan, Outcome* refused);

    std::string m_output;
    bool m_force;
    std::vector<FileId> m_claimed;  // every file this run writes or wrote
};

#endif
