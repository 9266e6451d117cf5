// The decoder modules beside the library: its own folder by full path, then
// the system's search.
#include "qvloader.h"

#include <string.h>

#include <atomic>

namespace {

std::atomic<const void*> g_searchBeside{nullptr};

// The folder of the binary that holds `code`, with its final separator, in
// `folder`; false when it cannot be told or does not fit.
bool FolderOf(const void* code, char* folder, DWORD size)
{
    HMODULE holder = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(code), &holder))
        return false;
    // A path cut short fills the buffer (on XP without a terminator).
    DWORD n = GetModuleFileNameA(holder, folder, size);
    if (n == 0 || n >= size)
        return false;
    char* end = nullptr;
    for (char* p = folder; *p; ++p)
        if (*p == '\\' || *p == '/')
            end = p + 1;
    if (!end)
        return false;
    *end = '\0';
    return true;
}

}  // namespace

extern "C" HMODULE WINAPI QvLoadModule(LPCSTR name)
{
    const void* code = g_searchBeside.load();
    char path[MAX_PATH];
    if (FolderOf(code ? code : reinterpret_cast<const void*>(&QvLoadModule), path, sizeof path) &&
        strlen(path) + strlen(name) < sizeof path) {
        strcat(path, name);
        DWORD attributes = GetFileAttributesA(path);
        // Found there, it is the one: a module that is there but fails to
        // load is not replaced by another of the same name from elsewhere.
        // Its own imports are looked for in its folder first too.
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return LoadLibraryA(name);
}

extern "C" void WINAPI QvLoaderSearchBeside(const void* code)
{
    g_searchBeside = code;
}
