// The messages between the command and its workers (WorkerWire.h).
#include "WorkerWire.h"

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

// A message: its length, then its fields, each ended by a NUL (no path and
// no text of a message holds one).
bool Send(PipeEnd end, const std::vector<std::string>& fields)
{
    std::string message;
    for (const std::string& field : fields)
        message += field + '\0';
    uint32_t length = static_cast<uint32_t>(message.size());
    return WriteAll(end, &length, sizeof length) && WriteAll(end, message.data(), message.size());
}

bool Receive(PipeEnd end, size_t count, std::vector<std::string>* fields)
{
    uint32_t length;
    std::string message;
    if (!ReadAll(end, &length, sizeof length) || (message.resize(length), !ReadAll(end, &message[0], length)))
        return false;
    fields->clear();
    for (size_t at = 0, nul; (nul = message.find('\0', at)) != std::string::npos; at = nul + 1)
        fields->push_back(message.substr(at, nul - at));
    return fields->size() == count;
}

}  // namespace

bool SendTask(PipeEnd end, const WorkerTask& task)
{
    return Send(end, {task.input, task.output, task.made ? "made" : "kept"});
}

bool ReceiveTask(PipeEnd end, WorkerTask* task)
{
    std::vector<std::string> f;
    bool ok = Receive(end, 3, &f);
    if (ok)
        *task = WorkerTask{f[0], f[1], f[2] == "made"};
    return ok;
}

bool SendOutcome(PipeEnd end, const Outcome& o)
{
    return Send(end, {std::to_string(o.kind), std::to_string(o.code), std::to_string(o.audioBytes), o.output, o.detail});
}

bool ReceiveOutcome(PipeEnd end, Outcome* o)
{
    std::vector<std::string> f;
    if (!Receive(end, 5, &f))
        return false;
    o->kind = static_cast<Outcome::Kind>(atoi(f[0].c_str()));
    o->code = static_cast<int32_t>(strtol(f[1].c_str(), nullptr, 10));
    o->audioBytes = strtoull(f[2].c_str(), nullptr, 10);
    o->output = f[3];
    o->detail = f[4];
    return true;
}
