// The loader's error state: one reason per thread, as GetLastError keeps.
#include "loadererror.h"

#include <windows.h>

namespace {

thread_local std::string t_loaderError;

}  // namespace

void SetLoaderError(const std::string& text)
{
    t_loaderError = text;
}

extern "C" LPCSTR WINAPI QvLoaderError(void)
{
    return t_loaderError.c_str();
}
