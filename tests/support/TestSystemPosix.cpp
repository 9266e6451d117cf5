// The parts of the test helpers that talk to the system: POSIX.
#include <dlfcn.h>
#include <link.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "TestSupport.h"

// Defined only by the test build of the framework library.
__attribute__((visibility("default"), weak)) void AfxTestFailAllocationsAfter(int n);
__attribute__((visibility("default"), weak)) void AfxTestFailOneAllocationAfter(int n);

namespace qvtest {

TempDir::TempDir()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvan-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir()
{
    std::string cmd = "chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", path_.c_str());
}

std::string TempDir::Path(const std::string& name) const
{
    return path_ + "/" + name;
}

ScopedCwd::ScopedCwd(const std::string& dir)
{
    char buf[4096];
    if (!getcwd(buf, sizeof buf) || chdir(dir.c_str()) != 0)
        throw std::runtime_error("chdir failed: " + dir);
    old_ = buf;
}

ScopedCwd::~ScopedCwd()
{
    if (chdir(old_.c_str()) != 0)
        perror("chdir");
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string ModuleFile(const std::string& module)
{
    return "lib" + module + ".so";
}

void OfferFile(const std::string& from, const std::string& to)
{
    if (symlink(from.c_str(), to.c_str()) != 0)
        throw std::runtime_error("symlink failed: " + to);
}

std::string SystemOffersModule()
{
    for (const char* file : {"libma32.so", "libmasd32.so"}) {
        void* h = dlopen(file, RTLD_LAZY | RTLD_LOCAL);
        if (!h)
            continue;
        struct link_map* map = nullptr;
        std::string path = dlinfo(h, RTLD_DI_LINKMAP, &map) == 0 && map ? map->l_name : file;
        dlclose(h);
        return path;
    }
    return std::string();
}

namespace {

void CallHook(void (*hook)(int), int n)
{
    if (!hook)
        throw std::runtime_error("the framework library has no test hooks: run the test through ctest, "
                                 "which loads it from tests/afx-testing/");
    hook(n);
}

}  // namespace

void FailAllocationsAfter(int n)
{
    CallHook(AfxTestFailAllocationsAfter, n);
}

void FailOneAllocationAfter(int n)
{
    CallHook(AfxTestFailOneAllocationAfter, n);
}

}  // namespace qvtest
