// libsoxr needs libgomp, whose start-up allocates a few bytes that it never
// frees. This module is loaded and unloaded at every conversion, and with it
// libsoxr and libgomp, so every conversion would lose those bytes. From the
// first load on, libsoxr (and through it libgomp) therefore stays loaded for
// the rest of the process: they start up once and their memory stays theirs.
// The module itself still unloads after each conversion.
//
// Should this fail, decoding is not affected; only those bytes are lost per
// conversion, so there is nothing to report.
#include <dlfcn.h>
#include <soxr.h>

namespace {

struct KeepResamplerLoaded {
    KeepResamplerLoaded()
    {
        Dl_info info;
        if (!dladdr(reinterpret_cast<void*>(&soxr_create), &info) || !info.dli_fname)
            return;
        // Already loaded as this module's dependency: this only marks it as
        // never to be unloaded, and drops the reference taken here.
        if (void* soxr = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
            dlclose(soxr);
    }
} g_keepResamplerLoaded;

}  // namespace
