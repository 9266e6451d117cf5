// The parts of the test helpers that talk to the system: Windows. Folders
// live in GetTempPathA's folder and are spelled with backslashes; modules are
// copied, since links need rights a test cannot assume.
#include <windows.h>
#include <direct.h>
#include <stdio.h>
#include <stdlib.h>

#include <stdexcept>

#include "TestSupport.h"

namespace qvtest {

namespace {

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
    if (!RemoveDirectoryA(path.c_str()))
        fprintf(stderr, "could not remove %s\n", path.c_str());
}

}  // namespace

TempDir::TempDir()
{
    char base[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base)
        throw std::runtime_error("GetTempPathA failed");
    static unsigned counter;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, "quorvan-test-%lx-%u", GetCurrentProcessId(), ++counter);
        std::string path = std::string(base) + name;
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            path_ = path;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("CreateDirectoryA failed");
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

std::string TempDir::Path(const std::string& name) const
{
    return path_ + "\\" + name;
}

ScopedCwd::ScopedCwd(const std::string& dir)
{
    char buf[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf || !SetCurrentDirectoryA(dir.c_str()))
        throw std::runtime_error("chdir failed: " + dir);
    old_ = buf;
}

ScopedCwd::~ScopedCwd()
{
    if (!SetCurrentDirectoryA(old_.c_str()))
        fprintf(stderr, "could not return to %s\n", old_.c_str());
}

// Both the C runtime's copy (getenv) and the process's (GetEnvironmentVariable,
// which GetTempPathA reads) are changed.
ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    _putenv((name_ + "=" + value).c_str());
    SetEnvironmentVariableA(name, value.c_str());
}

ScopedEnv::~ScopedEnv()
{
    _putenv((name_ + "=" + (had_ ? old_ : std::string())).c_str());
    SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ModuleFile(const std::string& module)
{
    return module + ".dll";
}

void OfferFile(const std::string& from, const std::string& to)
{
    if (!CopyFileA(from.c_str(), to.c_str(), TRUE))
        throw std::runtime_error("cannot copy " + from + " to " + to);
}

// What the loader would find for a bare module name before any rig offers
// one: the program's folder, the system folders, the current folder, PATH.
std::string SystemOffersModule()
{
    for (const char* file : {"ma32.dll", "masd32.dll"}) {
        char found[MAX_PATH + 1];
        DWORD n = SearchPathA(nullptr, file, nullptr, sizeof found, found, nullptr);
        if (n > 0 && n < sizeof found)
            return found;
    }
    return std::string();
}

// The hooks are the stand-in MFC42.DLL's (tests/windows/mfc42), the one the
// tests run with; the real MFC42.DLL has none.
namespace {

void CallHook(const char* name, int n)
{
    typedef void(__cdecl * Hook)(int);
    HMODULE mfc = GetModuleHandleA("MFC42.DLL");
    Hook hook = mfc ? reinterpret_cast<Hook>(reinterpret_cast<void (*)()>(GetProcAddress(mfc, name))) : nullptr;
    if (!hook)
        throw std::runtime_error("the MFC42.DLL this program loaded is not the tests' stand-in");
    hook(n);
}

}  // namespace

void FailAllocationsAfter(int n)
{
    CallHook("QvMfcFailAllocationsAfter", n);
}

void FailOneAllocationAfter(int n)
{
    CallHook("QvMfcFailOneAllocationAfter", n);
}

}  // namespace qvtest
