#include "DecoderBinding.h"

#include <qvloader.h>

#include "ResultCodes.h"

const char* const kMa32ModuleName = "ma32.dll";
const char* const kMasd32ModuleName = "masd32.dll";

namespace {

struct EntryPoint {
    const char* name;
    bool inMasd32;
    bool required;
};

const EntryPoint kEntryPointTable[DecoderBinding::kEntryPoints] = {
    {"masd_init", true, true},
    {"masd_decode", true, true},
    {"masd_close", true, true},
    {"masd_getFrameSize", true, true},
    {"masd_flushAndResync", true, true},
    {"masd_versionString", true, true},
    {"ma_mpegIDString", false, false},
    {"ma_mpegLayerString", false, false},
    {"ma_mpegProtectionString", false, true},
    {"ma_mpegPaddingString", false, true},
    {"ma_mpegPrivateString", false, true},
    {"ma_mpegModeString", false, true},
    {"ma_mpegModeExtString", false, true},
    {"ma_mpegCopyrightString", false, true},
    {"ma_mpegOriginalCopyString", false, true},
    {"ma_mpegEmphasisString", false, true},
    {"ma_mpegSampleFreqString", false, true},
    {"ma_mpegBitrateString", false, true},
};

// Beside the library first, then the system's search (platform/*/qvloader.h).
HMODULE LoadModule(const char* name, BindingObserver* observer)
{
    HMODULE module = QvLoadModule(name);
    if (!module && observer)
        observer->ModuleNotLoaded(name);
    return module;
}

}  // namespace

const char* DecoderEntryPointName(int index)
{
    return kEntryPointTable[index].name;
}

bool DecoderEntryPointRequired(int index)
{
    return kEntryPointTable[index].required;
}

bool DecoderEntryPointInMasd32(int index)
{
    return kEntryPointTable[index].inMasd32;
}

int BindDecoder(DecoderBinding& binding, BindingObserver* observer)
{
    binding = DecoderBinding();
    binding.hMa32 = LoadModule(kMa32ModuleName, observer);
    binding.hMasd32 = LoadModule(kMasd32ModuleName, observer);
    if (!binding.hMa32 && !binding.hMasd32)
        return QV_ERR_LOAD_MODULES;

    // Every lookup first, then the test. A module that did not load is looked
    // up with no handle, which searches only the host program.
    for (int i = 0; i < DecoderBinding::kEntryPoints; ++i) {
        const EntryPoint& e = kEntryPointTable[i];
        binding.entry[i] = GetProcAddress(e.inMasd32 ? binding.hMasd32 : binding.hMa32, e.name);
        if (!binding.entry[i] && observer)
            observer->EntryPointNotFound(i);
    }
    for (int i = 0; i < DecoderBinding::kEntryPoints; ++i) {
        if (kEntryPointTable[i].required && !binding.entry[i]) {
            UnbindDecoder(binding);
            return QV_ERR_ENTRY_POINT;
        }
    }
    return QV_OK;
}

void UnbindDecoder(DecoderBinding& binding)
{
    if (binding.hMa32)
        FreeLibrary(binding.hMa32);
    if (binding.hMasd32)
        FreeLibrary(binding.hMasd32);
    binding = DecoderBinding();
}
