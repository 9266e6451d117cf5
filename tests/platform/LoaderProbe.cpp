// A host program for the loader tests. It exports the ma32 entry points
// itself, so a run with only masd32 present can still bind.
//   loader_probe load NAME       load a module: "loaded bitrate=0|1" or "none"
//   loader_probe sym NAME        look NAME up with no module: "found" or "missing"
//   loader_probe convert IN OUT  convert and print the result code
// Commands may follow one another; modules stay loaded until the end.
#include <stdio.h>
#include <string.h>

#include <string>

#include "MpegToWavConverter.h"

#define HOST_EXPORT extern "C" __attribute__((visibility("default"), used))
#define DESCRIBE(name) \
    HOST_EXPORT const char* name(unsigned) { return #name; }
DESCRIBE(ma_mpegIDString)
DESCRIBE(ma_mpegLayerString)
DESCRIBE(ma_mpegProtectionString)
DESCRIBE(ma_mpegPaddingString)
DESCRIBE(ma_mpegPrivateString)
DESCRIBE(ma_mpegModeString)
DESCRIBE(ma_mpegModeExtString)
DESCRIBE(ma_mpegCopyrightString)
DESCRIBE(ma_mpegOriginalCopyString)
DESCRIBE(ma_mpegEmphasisString)
DESCRIBE(ma_mpegSampleFreqString)
DESCRIBE(ma_mpegBitrateString)

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string cmd = argv[i];
        if (cmd == "load") {
            HMODULE h = LoadLibraryA(argv[i + 1]);
            if (h)
                printf("loaded bitrate=%d\n", GetProcAddress(h, "ma_mpegBitrateString") ? 1 : 0);
            else
                printf("none\n");
        } else if (cmd == "sym") {
            printf("%s\n", GetProcAddress(nullptr, argv[i + 1]) ? "found" : "missing");
        } else if (cmd == "convert" && i + 2 < argc) {
            CMpegToWavConverter converter(argv[i + 1], argv[i + 2]);
            printf("%d\n", converter.Convert());
            ++i;
        }
    }
    return 0;
}
