// The library's search for its decoder modules (QvLoadModule,
// platform/win32/src/loader.cpp), pointed at a binary loaded from a folder of
// a test's own: beside that binary first, by full path, whatever the folder
// is called; a module found there that fails to load is not replaced by one
// from elsewhere. (VcHost.Boundary shows the same through Quorvan.dll.)
#include <gtest/gtest.h>
#include <windows.h>

#include <qvloader.h>

#include <string>

#include "TestSupport.h"

using namespace qvtest;

namespace {

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());  // the tests' paths are ASCII
}

std::wstring FileOf(HMODULE module)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

// While it lives, QvLoadModule looks beside `module` first.
struct SearchBeside {
    explicit SearchBeside(HMODULE module)
    {
        QvLoaderSearchBeside(reinterpret_cast<const void*>(GetProcAddress(module, "ma_mpegBitrateString")));
    }
    ~SearchBeside() { QvLoaderSearchBeside(nullptr); }
};

}  // namespace

TEST(ModuleSearch, BesideTheLibraryFirstInAFolderTheAnsiCodePageCannotName)
{
    TempDir scratch, elsewhere;
    // "plug-ins" in Chinese and Greek: no ANSI code page spells both.
    const std::wstring folder = Wide(scratch.path()) + L"\\\x63d2\x4ef6 \x03c0\x03c1\x03cc\x03c3\x03b8\x03b5\x03c4\x03b1";
    const std::wstring double32 = Wide(QUORVAN_DOUBLE_MA32);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(double32.c_str(), (folder + L"\\ma32.dll").c_str(), TRUE));
    // The binary that stands for the library: any DLL loaded from there.
    ASSERT_TRUE(CopyFileW(double32.c_str(), (folder + L"\\library.dll").c_str(), TRUE));
    HMODULE library = LoadLibraryW((folder + L"\\library.dll").c_str());
    ASSERT_NE(library, nullptr);
    {
        SearchBeside search(library);
        ScopedCwd cwd(elsewhere.path());  // offers no module
        HMODULE module = QvLoadModule("ma32.dll");
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        EXPECT_TRUE(FileOf(module) == folder + L"\\ma32.dll");
        FreeLibrary(module);

        // A file of the name that is no module: the load fails, and the one
        // the current folder offers is not taken instead.
        OfferFile(QUORVAN_DOUBLE_MA32, elsewhere / "ma32.dll");
        ASSERT_TRUE(DeleteFileW((folder + L"\\ma32.dll").c_str()));
        HANDLE junk = CreateFileW((folder + L"\\ma32.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(junk, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(junk, "not a module", 12, &written, nullptr);
        CloseHandle(junk);
        EXPECT_EQ(QvLoadModule("ma32.dll"), nullptr);
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    FreeLibrary(library);
    DeleteFileW((folder + L"\\ma32.dll").c_str());
    DeleteFileW((folder + L"\\library.dll").c_str());
    RemoveDirectoryW(folder.c_str());
}
