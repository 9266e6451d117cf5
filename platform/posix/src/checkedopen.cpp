// dlopen of a module after the checks of its file.
#include "checkedopen.h"

#include <dlfcn.h>

#include "elfcheck.h"
#include "loadererror.h"
#include "searchpath.h"

void* OpenCheckedSharedObject(const std::string& name)
{
    std::string checked = name;
    if (name.find('/') == std::string::npos) {
        checked.clear();
        for (std::string folder : LoaderSearchFolders()) {
            if (folder.back() != '/')
                folder += '/';
            if (IsElfForThisProcess(folder + name)) {
                checked = folder + name;
                break;
            }
        }
    }
    if (!checked.empty()) {
        std::string problem = SharedObjectProblem(checked);
        if (!problem.empty()) {
            SetLoaderError(problem);
            return nullptr;
        }
    }
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) {
        SetLoaderError(std::string());
        return handle;
    }
    // The loader's words name the file at fault; when that is a dependency,
    // the module that needs it goes in front.
    const char* why = dlerror();
    std::string text = why ? why : "the system loader refused it";
    if (text.compare(0, name.size(), name) != 0)
        text = name + ": " + text;
    SetLoaderError(text);
    return nullptr;
}
