#include "WorkerWire.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

bool Send(PipeEnd end, const std::vector<std::string>& fields)
{
    std::string message;
    for (const std::string& field : fields) {
        uint32_t length = static_cast<uint32_t>(field.size());
        message.append(reinterpret_cast<const char*>(&length), sizeof length).append(field);
    }
    uint32_t length = static_cast<uint32_t>(message.size());
    return WriteAll(end, &length, sizeof length) && WriteAll(end, message.data(), message.size());
}

// A message of exactly `count` fields.
bool Receive(PipeEnd end, size_t count, std::vector<std::string>* fields)
{
    uint32_t length;
    if (!ReadAll(end, &length, sizeof length))
        return false;
    std::string message(length, '\0');
    if (!ReadAll(end, &message[0], length))
        return false;
    fields->clear();
    for (size_t at = 0; at + sizeof length <= message.size();) {
        uint32_t size;
        memcpy(&size, &message[at], sizeof size);
        at += sizeof size;
        if (size > message.size() - at)
            return false;
        fields->push_back(message.substr(at, size));
        at += size;
    }
    return fields->size() == count;
}

long long Number(const std::string& field)
{
    return strtoll(field.c_str(), nullptr, 10);
}

}  // namespace

bool SendTask(PipeEnd end, const WorkerTask& task)
{
    return Send(end, {task.input, task.output, task.made ? "1" : "0"});
}

bool ReceiveTask(PipeEnd end, WorkerTask* task)
{
    std::vector<std::string> f;
    if (!Receive(end, 3, &f))
        return false;
    *task = WorkerTask{f[0], f[1], f[2] == "1"};
    return true;
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
    o->kind = static_cast<Outcome::Kind>(Number(f[0]));
    o->code = static_cast<int32_t>(Number(f[1]));
    o->audioBytes = static_cast<uint64_t>(Number(f[2]));
    o->output = f[3];
    o->detail = f[4];
    return true;
}
