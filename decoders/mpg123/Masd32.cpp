// masd32: the decoding module's entry points. Each one catches everything:
// no exception leaves the module.
#include <mpg123.h>
#include <soxr.h>

#include <memory>
#include <new>

#include "DecodePipeline.h"
#include "DecoderThreads.h"
#include "MasdBlocks.h"
#include "QuorvanDecoderModules.h"

namespace {

using quorvan::BlockSource;
using quorvan::DecodePipeline;
using quorvan::MasdBlock;
using quorvan::SequentialBlocks;

struct Instance {
    std::unique_ptr<BlockSource> blocks;
    uint32_t frameBytes = 0;  // of the last result handed out
    bool failed = false;      // an internal failure was reported; end next
};

void EmptyBlock(PcmBlock* pcm)
{
    pcm->first = 0;
    pcm->second = 0;
}

// One thread: everything on the caller's. More: the pipeline, or, when its
// threads cannot be started (nothing was read then), one thread after all.
int OpenBlocks(Instance& in, DecoderReadCallback callback)
{
    int threads = quorvan::DecoderThreads();
    if (threads > 1) {
        in.blocks.reset(new DecodePipeline(callback, threads));
        int rc = in.blocks->Open();
        if (rc != DecodePipeline::kNoThreads)
            return rc;
        in.blocks.reset();
    }
    in.blocks.reset(new SequentialBlocks(callback));
    return in.blocks->Open();
}

}  // namespace

extern "C" MASD_EXPORT int CDECL masd_init(DecoderParams /*params*/, DecoderReadCallback callback,
                                           uint32_t* initWord, DecoderHandle* decoder)
{
    try {
        if (!decoder)
            return MASD_ERR_ARGUMENT;
        *decoder = nullptr;
        if (!callback)
            return MASD_ERR_ARGUMENT;
        if (initWord)
            *initWord = 0;
        std::unique_ptr<Instance> instance(new Instance);
        if (OpenBlocks(*instance, callback) != MPG123_OK)
            return MASD_ERR_DECODER;
        *decoder = instance.release();
        return DECODER_OK;
    } catch (const std::bad_alloc&) {
        return MASD_ERR_MEMORY;
    } catch (...) {
        return MASD_ERR_DECODER;
    }
}

extern "C" MASD_EXPORT int CDECL masd_decode(uint32_t* frameWord, PcmBlock* pcm, AuxBlock* aux,
                                             DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    if (aux)
        aux->count = 0;
    // Without an instance or a buffer nothing can ever be delivered.
    if (!in || !pcm || !pcm->samples) {
        if (pcm)
            EmptyBlock(pcm);
        return DECODER_END;
    }
    if (in->failed) {
        EmptyBlock(pcm);
        return DECODER_END;
    }
    int rc;
    try {
        MasdBlock block;
        in->blocks->Next(block, static_cast<int16_t*>(pcm->samples));
        size_t frames = block.frames;
        pcm->first = frames ? 2 : 0;
        pcm->second = static_cast<uint32_t>(frames);
        in->frameBytes = block.frameBytes;
        if (frameWord)
            *frameWord = block.frameHeader;
        rc = block.rc;
    } catch (...) {
        // Report the failure once, with an empty block, then end the stream.
        EmptyBlock(pcm);
        in->failed = true;
        rc = MASD_ERR_FRAME;
    }
    return rc;
}

extern "C" MASD_EXPORT int CDECL masd_close(DecoderHandle* decoder)
{
    if (!decoder)
        return DECODER_OK;
    Instance* in = static_cast<Instance*>(*decoder);
    *decoder = nullptr;
    // The instance's threads, if any, are joined here; nothing it destroys
    // throws.
    delete in;
    return DECODER_OK;
}

extern "C" MASD_EXPORT uint32_t CDECL masd_getFrameSize(DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    return in ? in->frameBytes : 0;
}

extern "C" MASD_EXPORT int CDECL masd_flushAndResync(DecoderHandle decoder)
{
    Instance* in = static_cast<Instance*>(decoder);
    if (!in)
        return MASD_ERR_ARGUMENT;
    try {
        in->failed = false;
        in->frameBytes = 0;
        if (in->blocks->FlushAndResync() != MPG123_OK)
            return MASD_ERR_DECODER;
        return DECODER_OK;
    } catch (...) {
        in->failed = true;
        return MASD_ERR_DECODER;
    }
}

#define QV_STR2(x) #x
#define QV_STR(x) QV_STR2(x)

extern "C" MASD_EXPORT const char* CDECL masd_versionString(void)
{
    return "masd32 " QUORVAN_MODULE_VERSION " (libmpg123 API " QV_STR(MPG123_API_VERSION)
           ", libsoxr " SOXR_THIS_VERSION_STR ")";
}
