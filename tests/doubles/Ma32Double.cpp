// ma32 test double: the twelve header-description entry points, each returning
// a fixed text. Leaving one out of the build: OMIT_<entry point name>.
#include "DoubleLog.h"

namespace {
struct Announce {
    Announce() { doubles::Log("load ma32"); }
    ~Announce() { doubles::Log("unload ma32" + doubles::OpenFiles()); }
} g_announce;
}  // namespace

#define DESCRIBE(name)                                  \
    DOUBLE_EXPORT const char* name(unsigned /*header*/) \
    {                                                   \
        return #name;                                   \
    }

#ifndef OMIT_ma_mpegIDString
DESCRIBE(ma_mpegIDString)
#endif
#ifndef OMIT_ma_mpegLayerString
DESCRIBE(ma_mpegLayerString)
#endif
DESCRIBE(ma_mpegProtectionString)
DESCRIBE(ma_mpegPaddingString)
DESCRIBE(ma_mpegPrivateString)
DESCRIBE(ma_mpegModeString)
DESCRIBE(ma_mpegModeExtString)
DESCRIBE(ma_mpegCopyrightString)
DESCRIBE(ma_mpegOriginalCopyString)
DESCRIBE(ma_mpegEmphasisString)
DESCRIBE(ma_mpegSampleFreqString)
#ifndef OMIT_ma_mpegBitrateString
DESCRIBE(ma_mpegBitrateString)
#endif
