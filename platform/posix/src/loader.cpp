// LoadLibraryA / GetProcAddress / FreeLibrary over dlopen.
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "checkedopen.h"
#include "loadererror.h"

#ifndef QUORVAN_MODULE_SUBDIR
#define QUORVAN_MODULE_SUBDIR "quorvan"  // the module folder beside the library
#endif

namespace {

// "ma32.dll" -> "libma32.so"; a name without ".dll" gets only the "lib" prefix
// and ".so" suffix when it has no suffix of its own.
std::string SharedObjectName(const std::string& file)
{
    std::string base = file;
    if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0)
        base.resize(base.size() - 4);
    else if (base.find('.') != std::string::npos)
        return file;
    return "lib" + base + ".so";
}

std::string ProgramFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::atomic<const void*> g_searchBeside{nullptr};

// The folder of the object this loader is linked into (libQuorvan.so, or a
// program that links the converter statically), or of the one named with
// QvLoaderSearchBeside.
std::string OwnFolder()
{
    const void* code = g_searchBeside.load();
    Dl_info info;
    if (!dladdr(code ? code : reinterpret_cast<void*>(&ProgramFolder), &info) || !info.dli_fname)
        return std::string();
    std::string path(info.dli_fname);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string CurrentFolder()
{
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf))
        return std::string();
    return std::string(buf) + "/";
}

HMODULE Open(const std::string& path)
{
    return reinterpret_cast<HMODULE>(OpenCheckedSharedObject(path));
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

HMODULE Load(const std::string& name)
{
    size_t sep = name.find_last_of("/\\");
    if (sep != std::string::npos) {
        // An explicit folder: only there.
        std::string folder = name.substr(0, sep + 1);
        for (char& c : folder)
            if (c == '\\')
                c = '/';
        return Open(folder + SharedObjectName(name.substr(sep + 1)));
    }
    std::string file = SharedObjectName(name);

    // 1. The host program's own folder. A module found there is the one used,
    //    even when it fails to load, as with the platform's own search.
    std::string candidate = ProgramFolder() + file;
    if (Exists(candidate))
        return Open(candidate);
    // 2. The system loader's search. It includes the run path of the object
    //    that calls dlopen, which for an installed library names its own
    //    folder and the module folder beside it ($ORIGIN/quorvan); an
    //    interposed dlopen (a sanitizer's) hides that, so both folders are
    //    also tried explicitly.
    if (HMODULE h = Open(file))
        return h;
    std::string own = OwnFolder();
    if (!own.empty()) {
        for (const std::string& folder : {own, own + QUORVAN_MODULE_SUBDIR "/"})
            if (Exists(folder + file))
                return Open(folder + file);
    }
    // 3. The current directory.
    candidate = CurrentFolder() + file;
    if (Exists(candidate))
        return Open(candidate);
    return nullptr;
}

}  // namespace

extern "C" void WINAPI QvLoaderSearchBeside(const void* code)
{
    g_searchBeside = code;
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName || !*lpLibFileName) {
        SetLoaderError("no module name given");
        return nullptr;
    }
    // A C interface: running out of memory is a failed load, not an exception.
    try {
        return Load(lpLibFileName);
    } catch (...) {
        SetLoaderError(std::string(lpLibFileName) + ": out of memory");
        return nullptr;
    }
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (!lpProcName) {
        SetLoaderError("no entry point name given");
        return nullptr;
    }
    if (hModule) {
        dlerror();
        void* sym = dlsym(reinterpret_cast<void*>(hModule), lpProcName);
        const char* why = sym ? nullptr : dlerror();
        SetLoaderError(sym ? "" : why ? why : std::string(lpProcName) + ": not found");
        return reinterpret_cast<FARPROC>(sym);
    }

    // No module: the host program itself, not the libraries it loaded.
    void* program = dlopen(nullptr, RTLD_NOW);
    if (!program) {
        const char* why = dlerror();
        SetLoaderError(why ? why : "the host program cannot be looked into");
        return nullptr;
    }
    void* sym = dlsym(program, lpProcName);
    struct link_map* programMap = nullptr;
    struct link_map* symMap = nullptr;
    Dl_info info;
    bool fromProgram = sym && dlinfo(program, RTLD_DI_LINKMAP, &programMap) == 0 &&
                       dladdr1(sym, &info, reinterpret_cast<void**>(&symMap), RTLD_DL_LINKMAP) != 0 &&
                       symMap == programMap;
    dlclose(program);
    SetLoaderError(fromProgram ? "" : std::string(lpProcName) + ": not defined by the host program");
    return fromProgram ? reinterpret_cast<FARPROC>(sym) : nullptr;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (!hLibModule)
        return FALSE;
    return dlclose(reinterpret_cast<void*>(hLibModule)) == 0 ? TRUE : FALSE;
}
