// The two decoder modules and their 18 entry points, bound afresh for every
// conversion.
#ifndef QUORVAN_CONVERTER_DECODERBINDING_H
#define QUORVAN_CONVERTER_DECODERBINDING_H

#include <windows.h>

#include "DecoderApi.h"

struct DecoderBinding {
    enum { kEntryPoints = 18 };

    HMODULE hMa32;
    HMODULE hMasd32;
    // In the order of the table in DecoderBinding.cpp; only the first three
    // are called.
    FARPROC entry[kEntryPoints];

    template <typename Fn>
    static Fn As(FARPROC p)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(p));
    }
    MasdInitFn Init() const { return As<MasdInitFn>(entry[0]); }
    MasdDecodeFn Decode() const { return As<MasdDecodeFn>(entry[1]); }
    MasdCloseFn Close() const { return As<MasdCloseFn>(entry[2]); }
};

// The module files and the entry points, as the binding looks them up.
extern const char* const kMa32ModuleName;
extern const char* const kMasd32ModuleName;
const char* DecoderEntryPointName(int index);
bool DecoderEntryPointRequired(int index);
bool DecoderEntryPointInMasd32(int index);  // else in ma32

// Told of each step of a binding that fails, right after it, while the
// loader's reason is still the one it recorded last (the command's diagnosis
// of results 7 and 8 listens so).
class BindingObserver {
public:
    virtual void ModuleNotLoaded(const char* module) = 0;
    virtual void EntryPointNotFound(int index) = 0;

protected:
    ~BindingObserver() = default;
};

// Loads ma32 then masd32 and resolves every entry point. Returns 0,
// QV_ERR_LOAD_MODULES when neither module loads, or QV_ERR_ENTRY_POINT when a
// required entry point is missing (the modules are then released again).
int BindDecoder(DecoderBinding& binding, BindingObserver* observer = nullptr);

// Releases the modules that loaded, ma32 first, and clears their handles.
void UnbindDecoder(DecoderBinding& binding);

#endif
