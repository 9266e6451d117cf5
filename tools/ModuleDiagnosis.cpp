// The diagnosis repeats what BindDecoder does, one step at a time, keeping the
// loader's reason for each step that fails.
#include "ModuleDiagnosis.h"

#include <windows.h>

#include "DecoderBinding.h"
#include "ResultCodes.h"

namespace {

struct LoadedModule {
    HMODULE handle;
    std::string failure;  // the loader's reason when handle is null
    explicit LoadedModule(const char* name)
        : handle(LoadLibraryA(name)), failure(handle ? "" : LoaderFailure(name, nullptr))
    {
    }
    ~LoadedModule()
    {
        if (handle)
            FreeLibrary(handle);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
};

// The first required entry point that cannot be found, described.
std::string MissingEntryPoint(const LoadedModule& ma32, const LoadedModule& masd32)
{
    for (int i = 0; i < DecoderBinding::kEntryPoints; ++i) {
        if (!DecoderEntryPointRequired(i))
            continue;
        const char* name = DecoderEntryPointName(i);
        const LoadedModule& module = DecoderEntryPointInMasd32(i) ? masd32 : ma32;
        if (GetProcAddress(module.handle, name))
            continue;
        // A module that did not load is looked up in the host program, which
        // rarely has the name: then the module's own failure is the reason.
        if (!module.handle)
            return module.failure + " (so " + name + " is missing)";
        return LoaderFailure(DecoderEntryPointInMasd32(i) ? kMasd32ModuleName : kMa32ModuleName, name);
    }
    return "every required entry point is found now";
}

}  // namespace

std::string DiagnoseDecoderModules(int code)
{
    if (code != QV_ERR_LOAD_MODULES && code != QV_ERR_ENTRY_POINT)
        return std::string();
    LoadedModule ma32(kMa32ModuleName);
    LoadedModule masd32(kMasd32ModuleName);
    if (!ma32.handle && !masd32.handle)
        return ma32.failure + "; " + masd32.failure;
    return MissingEntryPoint(ma32, masd32);
}
