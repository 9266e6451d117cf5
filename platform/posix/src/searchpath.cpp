// The system loader's search, as it applies to the object that holds this code.
#include "searchpath.h"

#include <dlfcn.h>
#include <link.h>
#include <string.h>

std::vector<std::string> LoaderSearchFolders()
{
    std::vector<std::string> folders;
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&LoaderSearchFolders), &info) || !info.dli_fname)
        return folders;
    void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!self)
        self = dlopen(nullptr, RTLD_LAZY);
    if (!self)
        return folders;
    Dl_serinfo sizes;
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, &sizes) == 0 && sizes.dls_size >= sizeof(Dl_serinfo)) {
        std::vector<unsigned char> buffer(sizes.dls_size);
        Dl_serinfo* serinfo = reinterpret_cast<Dl_serinfo*>(buffer.data());
        memcpy(serinfo, &sizes, sizeof sizes);
        if (dlinfo(self, RTLD_DI_SERINFOSIZE, serinfo) == 0 && dlinfo(self, RTLD_DI_SERINFO, serinfo) == 0)
            for (unsigned i = 0; i < serinfo->dls_cnt; ++i)
                if (serinfo->dls_serpath[i].dls_name && *serinfo->dls_serpath[i].dls_name)
                    folders.push_back(serinfo->dls_serpath[i].dls_name);
    }
    dlclose(self);
    return folders;
}
