// Scripted masd32 test double. The script (QV_DOUBLE_SCRIPT) has one command a
// line; "init RET" sets what masd_init returns (default 0), every other line
// is one masd_decode call, and once the script is used up masd_decode returns
// 1001 (end of stream):
//   block RET FIRST SECOND SEED   fill the sample buffer with bytes SEED, SEED+1,
//                                 ... (at most 9216), set the counts, return RET
//   keep RET                      leave the counts and the buffer as they are
//   read N RET                    read N bytes through the callback and log the
//                                 result; an empty block
//   throw                         throw an exception out of masd_decode
//   repeat K <command>            the command K times, SEED advancing by K each
// Leaving a line out of the build: OMIT_<entry point name>.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DecoderApi.h"
#include "DoubleLog.h"

namespace {

struct Command {
    std::string op;
    int ret = 0;
    uint32_t first = 0, second = 0, seed = 0, count = 0;
};

struct Instance {
    DecoderReadCallback read;
    std::vector<Command> script;
    size_t next;
};

int g_initResult;
std::vector<Command> g_script;

std::string Hex(const void* p)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

Command Parse(std::istringstream& in, const std::string& op)
{
    Command c;
    c.op = op;
    if (op == "block")
        in >> c.ret >> c.first >> c.second >> c.seed;
    else if (op == "keep")
        in >> c.ret;
    else if (op == "read")
        in >> c.count >> c.ret;
    return c;
}

void LoadScript()
{
    g_initResult = 0;
    g_script.clear();
    const char* path = getenv("QV_DOUBLE_SCRIPT");
    if (!path)
        return;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        std::string op;
        if (!(in >> op) || op[0] == '#')
            continue;
        if (op == "init") {
            in >> g_initResult;
        } else if (op == "repeat") {
            uint32_t times = 0;
            std::string inner;
            in >> times >> inner;
            Command c = Parse(in, inner);
            for (uint32_t i = 0; i < times; ++i, ++c.seed)
                g_script.push_back(c);
        } else {
            g_script.push_back(Parse(in, op));
        }
    }
}

struct Announce {
    Announce() { doubles::Log("load masd32"); }
    ~Announce() { doubles::Log("unload masd32" + doubles::OpenFiles()); }
} g_announce;

}  // namespace

DOUBLE_EXPORT int masd_init(DecoderParams params, DecoderReadCallback callback, uint32_t* initWord,
                            DecoderHandle* decoder)
{
    LoadScript();
    char line[128];
    snprintf(line, sizeof line, "init %s params=%d,%d,%d,%d,%d,%d word=%u", Hex(decoder).c_str(),
             params.b[0], params.b[1], params.b[2], params.b[3], params.b[4], params.b[5],
             initWord ? *initWord : 999u);
    doubles::Log(line);
    if (g_initResult != 0)
        return g_initResult;
    *decoder = new Instance{callback, g_script, 0};
    return 0;
}

DOUBLE_EXPORT int masd_decode(uint32_t* /*frameWord*/, PcmBlock* pcm, AuxBlock* /*aux*/, DecoderHandle decoder)
{
    Instance* self = static_cast<Instance*>(decoder);
    if (self->next >= self->script.size()) {
        doubles::Log("decode 1001");
        return DECODER_END;
    }
    const Command& c = self->script[self->next++];
    if (c.op == "throw") {
        doubles::Log("decode throw");
        throw std::runtime_error("scripted failure");
    }
    if (c.op == "block") {
        uint64_t bytes = 2ull * c.first * c.second;
        if (bytes > DECODER_SAMPLE_BUFFER_BYTES)
            bytes = DECODER_SAMPLE_BUFFER_BYTES;
        unsigned char* out = static_cast<unsigned char*>(pcm->samples);
        for (uint64_t i = 0; i < bytes; ++i)
            out[i] = static_cast<unsigned char>(c.seed + i);
        pcm->first = c.first;
        pcm->second = c.second;
    } else if (c.op == "read") {
        std::vector<unsigned char> buf(c.count + 1);
        uint32_t length = c.count;
        int rc = self->read(buf.data(), &length);
        std::string line = "read " + std::to_string(rc) + " " + std::to_string(length) + " ";
        line.append(reinterpret_cast<const char*>(buf.data()), length < 16 ? length : 16);
        doubles::Log(line);
        pcm->first = 0;
        pcm->second = 0;
    }
    doubles::Log("decode " + std::to_string(c.ret));
    return c.ret;
}

DOUBLE_EXPORT int masd_close(DecoderHandle* decoder)
{
    doubles::Log("close " + Hex(decoder) + (*decoder ? " set" : " null") + doubles::OpenFiles());
    delete static_cast<Instance*>(*decoder);
    *decoder = nullptr;
    return 0;
}

#ifndef OMIT_masd_getFrameSize
DOUBLE_EXPORT int masd_getFrameSize(void)
{
    return 0;
}
#endif
#ifndef OMIT_masd_flushAndResync
DOUBLE_EXPORT int masd_flushAndResync(void)
{
    return 0;
}
#endif
#ifndef OMIT_masd_versionString
DOUBLE_EXPORT const char* masd_versionString(void)
{
    return "scripted double";
}
#endif
