// The decoder modules beside the library: its own folder by full path, then
// the system's search.
#include "qvloader.h"

#include <atomic>

namespace {

std::atomic<const void*> g_searchBeside{nullptr};

// The path of `name` in the folder of the binary that holds `code`, in
// `path`; false when it cannot be told or does not fit. Wide characters: the
// folder's name need not be representable in the ANSI code page.
bool BesideBinaryOf(const void* code, LPCSTR name, wchar_t* path, DWORD size)
{
    HMODULE holder = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(code), &holder))
        return false;
    // A path cut short fills the buffer (on XP without a terminator).
    DWORD n = GetModuleFileNameW(holder, path, size);
    if (n == 0 || n >= size)
        return false;
    wchar_t* file = nullptr;
    for (wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            file = p + 1;
    if (!file)
        return false;
    int room = static_cast<int>(size - (file - path));
    return MultiByteToWideChar(CP_ACP, 0, name, -1, file, room) > 0;
}

}  // namespace

extern "C" HMODULE WINAPI QvLoadModule(LPCSTR name)
{
    const void* code = g_searchBeside.load();
    wchar_t path[MAX_PATH];
    if (BesideBinaryOf(code ? code : reinterpret_cast<const void*>(&QvLoadModule), name, path, MAX_PATH)) {
        DWORD attributes = GetFileAttributesW(path);
        // Found there, it is the one: a module that is there but fails to
        // load is not replaced by another of the same name from elsewhere.
        // Its own imports are looked for in its folder first too.
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return LoadLibraryA(name);
}

extern "C" void WINAPI QvLoaderSearchBeside(const void* code)
{
    g_searchBeside = code;
}
