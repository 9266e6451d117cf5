// What the command and its workers say to each other over a pipe, the same
// on every system: a task is the job number, the length of its argument and
// the argument; an outcome is a fixed header, then the output path and the
// detail. Channel is the platform's pipe end, with whole-buffer
// Write(data, size) and Read(data, size) that return false on failure.
#ifndef QUORVAN_TOOLS_WORKERWIRE_H
#define QUORVAN_TOOLS_WORKERWIRE_H

#include <stdint.h>

#include <string>

#include "Outcome.h"

struct WireHeader {
    int32_t kind;
    int32_t code;
    uint64_t audioBytes;
    uint32_t outputLength;
    uint32_t detailLength;
};

template <class Channel>
bool SendTask(const Channel& c, uint64_t job, const std::string& argument)
{
    uint32_t length = static_cast<uint32_t>(argument.size());
    return c.Write(&job, sizeof job) && c.Write(&length, sizeof length) && c.Write(argument.data(), argument.size());
}

template <class Channel>
bool ReceiveTask(const Channel& c, uint64_t* job, std::string* argument)
{
    uint32_t length;
    if (!c.Read(job, sizeof *job) || !c.Read(&length, sizeof length))
        return false;
    argument->resize(length);
    return c.Read(&(*argument)[0], length);
}

template <class Channel>
bool SendOutcome(const Channel& c, const Outcome& o)
{
    WireHeader h = {o.kind, o.code, o.audioBytes, static_cast<uint32_t>(o.output.size()),
                    static_cast<uint32_t>(o.detail.size())};
    return c.Write(&h, sizeof h) && c.Write(o.output.data(), o.output.size()) &&
           c.Write(o.detail.data(), o.detail.size());
}

template <class Channel>
bool ReceiveOutcome(const Channel& c, Outcome* o)
{
    WireHeader h;
    if (!c.Read(&h, sizeof h))
        return false;
    o->kind = static_cast<Outcome::Kind>(h.kind);
    o->code = h.code;
    o->audioBytes = h.audioBytes;
    o->output.resize(h.outputLength);
    o->detail.resize(h.detailLength);
    return c.Read(&o->output[0], h.outputLength) && c.Read(&o->detail[0], h.detailLength);
}

#endif
