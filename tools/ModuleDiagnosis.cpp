// The diagnosis runs the converter's own binding again, listening to each
// step that fails for the loader's reason, and searching where the library
// itself searches.
#include "ModuleDiagnosis.h"

#include <string.h>

#include "DecoderBinding.h"
#include "ResultCodes.h"

namespace {

class FailureRecorder : public BindingObserver {
public:
    void ModuleNotLoaded(const char* module) override
    {
        (strcmp(module, kMa32ModuleName) == 0 ? m_ma32 : m_masd32) = LoaderFailure(module, nullptr);
    }
    void EntryPointNotFound(int index) override
    {
        if (!m_missing.empty() || !DecoderEntryPointRequired(index))
            return;
        const char* name = DecoderEntryPointName(index);
        const std::string& moduleFailure = DecoderEntryPointInMasd32(index) ? m_masd32 : m_ma32;
        // A module that did not load is looked up in the host program, which
        // rarely has the name: then the module's own failure is the reason.
        if (!moduleFailure.empty())
            m_missing = moduleFailure + " (so " + name + " is missing)";
        else
            m_missing = LoaderFailure(DecoderEntryPointInMasd32(index) ? kMasd32ModuleName : kMa32ModuleName, name);
    }

    std::string Says(int bound) const
    {
        if (bound == QV_ERR_LOAD_MODULES)
            return m_ma32 + "; " + m_masd32;
        if (bound == QV_ERR_ENTRY_POINT)
            return m_missing;
        return "every required entry point is found now";
    }

private:
    std::string m_ma32, m_masd32;  // why each module did not load
    std::string m_missing;         // the first required entry point not found
};

}  // namespace

std::string DiagnoseDecoderModules(int code)
{
    if (code != QV_ERR_LOAD_MODULES && code != QV_ERR_ENTRY_POINT)
        return std::string();
    SearchModulesAsTheLibrary();
    FailureRecorder recorder;
    DecoderBinding binding;
    int bound = BindDecoder(binding, &recorder);
    if (bound == QV_OK)
        UnbindDecoder(binding);
    return recorder.Says(bound);
}
