#include "HostRig.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "VcTest.h"

namespace {

void Join(char* path, const char* dir, const char* name)
{
    _snprintf(path, MAX_PATH, "%s\\%s", dir, name);
    path[MAX_PATH - 1] = 0;
}

void FolderOf(char* dir, const char* path)
{
    strcpy(dir, path);
    char* slash = strrchr(dir, '\\');
    char* other = strrchr(dir, '/');
    if (other > slash)
        slash = other;
    if (slash)
        *slash = 0;
}

unsigned long Le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

unsigned Le16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

}  // namespace

bool HostRig::Open(const char* quorvanDll, const char* sampleFile)
{
    memset(this, 0, sizeof *this);
    if (!mfc.Load()) {
        printf("the MFC42.DLL loaded is not the stand-in (no QvMfc controls)\n");
        return false;
    }
    strcpy(libraryPath, quorvanDll);  // spelled with Windows' own separator, as a host would
    for (char* p = libraryPath; *p; ++p)
        if (*p == '/')
            *p = '\\';
    FolderOf(libraryDir, libraryPath);
    strcpy(sample, sampleFile);
    char self[MAX_PATH];
    OwnPath(self, sizeof self);
    FolderOf(hostDir, self);

    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp)
        return false;
    // A folder left by a run that crashed may carry this process's number.
    bool made = false;
    for (int attempt = 0; attempt < 100 && !made; ++attempt) {
        _snprintf(scratch, sizeof scratch, "%svchost-%lu-%d", temp, GetCurrentProcessId(), attempt);
        made = CreateDirectoryA(scratch, 0) != 0;
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!made) {
        printf("cannot make a scratch folder in %s (error %lu)\n", temp, GetLastError());
        scratch[0] = 0;  // not ours: Close leaves it alone
        return false;
    }
    Join(input, scratch, "input.mp3");
    Join(noModules, scratch, "empty");
    if (!CreateDirectoryA(noModules, 0) || !RestoreInput()) {
        printf("cannot make the scratch folder %s (error %lu)\n", scratch, GetLastError());
        return false;
    }

    // By full path from a folder that is not this program's: what it
    // imports must be found as a host's loader finds it (MFC42.DLL is
    // loaded already, the rest is the system's).
    library = LoadLibraryA(libraryPath);
    if (!library) {
        printf("LoadLibraryA(%s) failed (error %lu)\n", libraryPath, GetLastError());
        return false;
    }
    decode = reinterpret_cast<PFNDECODEMPEGTOWAV>(GetProcAddress(library, "DecodeMpegToWav"));
    decodeByOrdinal = reinterpret_cast<PFNDECODEMPEGTOWAV>(GetProcAddress(library, MAKEINTRESOURCEA(1)));
    if (!decode) {
        printf("Quorvan.dll has no DecodeMpegToWav\n");
        return false;
    }
    if (!SetCurrentDirectoryA(libraryDir))
        return false;
    return true;
}

void HostRig::Close()
{
    if (library)
        FreeLibrary(library);
    library = 0;
    if (!scratch[0])
        return;
    static const char* const kNames[] = {"input.mp3", "inputmp3.wav", "given.wav", "reference.wav",
                                          "notmpeg.mp3", "notmpegmp3.wav"};
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        char path[MAX_PATH];
        Path(path, kNames[i]);
        Remove(path);
    }
    RemoveDirectoryA(noModules);
    if (!RemoveDirectoryA(scratch))
        printf("note: %s is left (error %lu)\n", scratch, GetLastError());
}

void HostRig::Path(char* path, const char* name) const
{
    Join(path, scratch, name);
}

bool HostRig::RestoreInput() const
{
    return CopyFileA(sample, input, FALSE) != 0;
}

bool ModulesLoaded()
{
    return GetModuleHandleA("ma32.dll") || GetModuleHandleA("masd32.dll");
}

bool IsGoodWave(const char* path)
{
    long size = 0;
    unsigned char* w = ReadWholeFile(path, &size);
    bool good = w && size > 44 && memcmp(w, "RIFF", 4) == 0 && Le32(w + 4) == static_cast<unsigned long>(size - 8) &&
                memcmp(w + 8, "WAVEfmt ", 8) == 0 && Le32(w + 16) == 16 && Le16(w + 20) == 1 && Le16(w + 22) == 2 &&
                Le32(w + 24) == 44100 && Le32(w + 28) == 176400 && Le16(w + 32) == 4 && Le16(w + 34) == 16 &&
                memcmp(w + 36, "data", 4) == 0 && Le32(w + 40) == static_cast<unsigned long>(size - 44) &&
                (size - 44) % 4 == 0;
    free(w);
    return good;
}

bool Remove(const char* path)
{
    return DeleteFileA(path) || !Exists(path);
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
