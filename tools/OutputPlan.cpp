// Choosing and claiming output names.
#include "OutputPlan.h"

#include "OutputNaming.h"
#include "ResultCodes.h"
#include "SystemErrors.h"

namespace {

// The library's own names (naming/OutputNaming.h), as text; empty when it has
// none, or the framework ran out of memory making one.
template <typename Naming>
std::string LibraryName(Naming naming)
{
    try {
        CString name = naming();
        return std::string(static_cast<const char*>(name));
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return std::string();
}

void Refuse(Outcome* refused, const std::string& why)
{
    refused->kind = Outcome::kRefused;
    refused->code = QV_ERR_CREATE_WAVE;
    refused->detail = why;
}

}  // namespace

bool OutputPlanner::Claimed(const FileId& id) const
{
    for (const FileId& c : m_claimed)
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
    m_claimed.push_back(plan->id);
    return true;
}

bool OutputPlanner::Plan(const std::string& input, OutputPlan* plan, Outcome* refused)
{
    *plan = OutputPlan();
    if (m_output.empty())
        return Derived(input, plan, refused);
    if (m_output == "-") {
        std::string error;
        if (!Temporary(plan, &error)) {
            Refuse(refused, "no staging file for the standard output in " + TemporaryFolder() + ": " + error);
            return false;
        }
        plan->toStdout = true;
        return true;
    }
    return Claim(input, m_output, plan, refused);
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
            if (!m_force) {
                Refuse(refused, path + " already exists and was left alone (use -f to replace it)");
                return false;
            }
            plan->path = path;
            plan->id = id;
            m_claimed.push_back(id);
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
    std::string name = LibraryName([&] { return DeriveOutputPath(CString(input.c_str())); });
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
    } else if (!m_force) {
        plan->notice = name + " already exists (-f replaces it)";
    } else if (kind != PathKind::kFile) {
        plan->notice = name + " is not a regular file";
    } else {
        plan->path = name;
        plan->id = id;
        m_claimed.push_back(id);
        return true;
    }
    std::string error;
    if (!Temporary(plan, &error)) {
        Refuse(refused, plan->notice + ", and nothing can be created in " + TemporaryFolder() + ": " + error);
        return false;
    }
    return true;
}

// A new Tmp<hex>.wav in the temporary folder, named as the library names
// its own. The name is free when chosen; one taken before it is made here is
// chosen again.
bool OutputPlanner::Temporary(OutputPlan* plan, std::string* error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        ClearSystemError();
        std::string path = LibraryName([] { return TemporaryOutputPath(); });
        if (path.empty()) {
            int code = LastSystemError();
            *error = code != 0 ? SystemErrorText(code) : "no Tmp<hex>.wav name is free";
            return false;
        }
        bool exists;
        if (ClaimNew(path, plan, &exists, error))
            return true;
        if (!exists)
            return false;
    }
    *error = "every Tmp<hex>.wav name chosen was taken before it could be made";
    return false;
}

void OutputPlanner::Release(const OutputPlan& plan, bool keep)
{
    if (!plan.created || keep)
        return;
    RemoveIfSame(plan.path, plan.id);
    for (size_t i = 0; i < m_claimed.size(); ++i)
        if (m_claimed[i] == plan.id) {
            m_claimed.erase(m_claimed.begin() + static_cast<long>(i));
            break;
        }
}
