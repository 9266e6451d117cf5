// Choosing and claiming output names.
#include "OutputPlan.h"

#include <stdio.h>

#include <chrono>

#include "ResultCodes.h"

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

void Refuse(Outcome* refused, const std::string& why)
{
    refused->kind = Outcome::kRefused;
    refused->code = QV_ERR_CREATE_WAVE;
    refused->detail = why;
}

}  // namespace

std::string DeriveWavName(const std::string& input)
{
    size_t name = 0;
    for (size_t i = 0; i < input.size(); ++i)
        if (IsSeparator(input[i]))
            name = i + 1;
    size_t dot = input.rfind('.');
    std::string base = input.substr(name);
    if (dot != std::string::npos && dot >= name)
        base = input.substr(name, dot - name) + input.substr(dot + 1);
    return input.substr(0, name) + base + ".wav";
}

bool OutputPlanner::Claimed(const FileId& id) const
{
    for (const FileId& c : claimed_)
        if (c == id)
            return true;
    return false;
}

bool OutputPlanner::ClaimNew(const std::string& path, OutputPlan* plan, bool* exists, std::string* error)
{
    if (!CreateNewFile(path, &plan->id, exists, error))
        return false;
    plan->path = path;
    plan->created = true;
    claimed_.push_back(plan->id);
    return true;
}

bool OutputPlanner::Plan(const std::string& input, OutputPlan* plan, Outcome* refused)
{
    *plan = OutputPlan();
    if (output_.empty())
        return Derived(input, plan, refused);
    if (output_ == "-") {
        std::string error;
        if (!Temporary(plan, &error)) {
            Refuse(refused, "no staging file for the standard output in " + TemporaryFolder() + ": " + error);
            return false;
        }
        plan->toStdout = true;
        return true;
    }
    return Claim(input, output_, plan, refused);
}

// The -o name: a new file is made; an existing one is replaced only with -f,
// and never when it is a folder or the input itself.
bool OutputPlanner::Claim(const std::string& input, const std::string& path, OutputPlan* plan, Outcome* refused)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileId id;
        PathKind kind = Inspect(path, &id);
        if (kind != PathKind::kMissing) {
            if (id == IdentityOf(input)) {
                Refuse(refused, path + " is the input file itself");
                return false;
            }
            if (kind == PathKind::kFolder) {
                Refuse(refused, path + " is a folder");
                return false;
            }
            if (!force_) {
                Refuse(refused, path + " already exists and was left alone (use -f to replace it)");
                return false;
            }
            plan->path = path;
            plan->id = id;
            claimed_.push_back(id);
            return true;
        }
        bool exists;
        std::string error;
        if (ClaimNew(path, plan, &exists, &error))
            return true;
        if (!exists) {
            Refuse(refused, path + ": " + error);
            return false;
        }
        // Made by someone else just now: look again.
    }
    Refuse(refused, path + " keeps changing");
    return false;
}

// Beside the input when that name is free (or -f may replace it), else in
// the temporary folder, with a notice that says why.
bool OutputPlanner::Derived(const std::string& input, OutputPlan* plan, Outcome* refused)
{
    std::string name = DeriveWavName(input);
    std::string folder = ResolvedFolderOf(name);
    FileId id;
    PathKind kind = Inspect(name, &id);
    if (!folder.empty() && IsSystemFolder(folder)) {
        plan->notice = "no WAV file is put into " + folder;
    } else if (kind == PathKind::kMissing) {
        bool exists;
        std::string error;
        if (ClaimNew(name, plan, &exists, &error))
            return true;
        plan->notice = exists ? name + " already exists" : name + " cannot be created (" + error + ")";
    } else if (Claimed(id)) {
        plan->notice = name + " is written by another input of this run";
    } else if (kind == PathKind::kFolder) {
        plan->notice = name + " is a folder";
    } else if (id == IdentityOf(input)) {
        plan->notice = name + " is the input file itself";
    } else if (!force_) {
        plan->notice = name + " already exists (-f replaces it)";
    } else if (kind != PathKind::kFile) {
        plan->notice = name + " is not a regular file";
    } else {
        plan->path = name;
        plan->id = id;
        claimed_.push_back(id);
        return true;
    }
    std::string error;
    if (!Temporary(plan, &error)) {
        Refuse(refused, plan->notice + ", and nothing can be created in " + TemporaryFolder() + ": " + error);
        return false;
    }
    return true;
}

// A new Tmp<hex>.wav in the temporary folder.
bool OutputPlanner::Temporary(OutputPlan* plan, std::string* error)
{
    std::string folder = TemporaryFolder();
    unsigned start = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() >> 10);
    for (unsigned k = 0; k < 0x10000; ++k) {
        char hex[16];
        snprintf(hex, sizeof hex, "%X", (start + k) % 0xffff + 1);
        std::string path = folder + "Tmp" + hex + ".wav";
        bool exists;
        if (ClaimNew(path, plan, &exists, error))
            return true;
        if (!exists)
            return false;
    }
    *error = "every Tmp<hex>.wav name is taken";
    return false;
}

void OutputPlanner::Release(const OutputPlan& plan, bool keep)
{
    if (!plan.created || keep)
        return;
    RemoveIfSame(plan.path, plan.id);
    for (size_t i = 0; i < claimed_.size(); ++i)
        if (claimed_[i] == plan.id) {
            claimed_.erase(claimed_.begin() + static_cast<long>(i));
            break;
        }
}
