// Choosing the WAV file's name when the caller gave none: next to the input if
// a new file can be made there, else in the temporary directory.
#include "OutputNaming.h"

#include <stdio.h>
#include <stdlib.h>  // _splitpath, _makepath
#include <windows.h>

#include <vector>

namespace {

BOOL NameTaken(LPCSTR path)
{
    CFileFind finder;
    BOOL found = finder.FindFile(path);
    finder.Close();
    return found;
}

// True when a file of that name could be created: it is created, closed and
// removed again. A name already taken is never touched.
bool CanCreate(const CString& path)
{
    if (NameTaken(path))
        return false;
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite))
        return false;
    try {
        file.Close();
        CFile::Remove(path);
    } catch (CFileException* e) {
        // Whatever is left there, the name is not ours to use.
        e->Delete();
        return false;
    }
    return true;
}

// The .TMP files that reserve numbers while a name is being chosen; each is
// removed when the choice is over, however it ends.
class TempReservations {
public:
    TempReservations() = default;
    ~TempReservations()
    {
        for (const CString& name : m_names)
            if (!name.IsEmpty())
                remove(name);  // nothing better to do if it will not go
    }
    // A fresh slot, made before the file exists so that it is never lost.
    CString& Add()
    {
        m_names.emplace_back();
        return m_names.back();
    }

private:
    std::vector<CString> m_names;
    TempReservations(const TempReservations&) = delete;
    TempReservations& operator=(const TempReservations&) = delete;
};

}  // namespace

CString DeriveOutputPath(const CString& inputPath)
{
    // No part of a path is longer than the path. One more than that keeps
    // even an empty input's parts in buffers of their own.
    const int length = inputPath.GetLength() + 1;
    CString drive, dir, fname, ext;
    _splitpath(inputPath, drive.GetBuffer(length), dir.GetBuffer(length), fname.GetBuffer(length),
               ext.GetBuffer(length));
    drive.ReleaseBuffer();
    dir.ReleaseBuffer();
    fname.ReleaseBuffer();
    ext.ReleaseBuffer();

    // The extension's letters, past its dot, straight from its buffer: no
    // temporary string.
    CString name = fname;
    if (ext.GetLength() > 1)
        name += static_cast<LPCSTR>(ext) + 1;

    // Drive and colon, folder and separator, name, dot and "wav".
    CString path;
    _makepath(path.GetBuffer(drive.GetLength() + dir.GetLength() + name.GetLength() + 8), drive, dir,
              name, "wav");
    path.ReleaseBuffer();
    return path;
}

CString TemporaryOutputPath()
{
    CString dir;
    DWORD needed = GetTempPathA(0, nullptr);
    if (needed == 0 || needed > 0x7fffff00u)
        return CString();
    DWORD length = GetTempPathA(needed, dir.GetBuffer(static_cast<int>(needed)));
    if (length == 0 || length >= needed) {
        dir.ReleaseBuffer(0);
        return CString();
    }
    dir.ReleaseBuffer(static_cast<int>(length));

    // GetTempFileNameA reserves a number by creating Tmp<hex>.TMP; the WAV
    // name is that with "wav" for "TMP". If a WAV of that name is already
    // there, the reservation is held (so the next call gets another number)
    // and another is taken.
    int cbName = dir.GetLength() + 32;
    if (cbName < MAX_PATH)
        cbName = MAX_PATH;
    TempReservations reserved;
    for (;;) {
        CString& tmpName = reserved.Add();
        LPSTR buffer = tmpName.GetBuffer(cbName);
        buffer[0] = '\0';
        UINT unique = GetTempFileNameA(dir, "Tmp", 0, buffer);
        tmpName.ReleaseBuffer();
        if (unique == 0 || tmpName.IsEmpty()) {
            tmpName.Empty();  // not ours: nothing to remove
            return CString();
        }
        CString wavName = tmpName;
        int dot = wavName.ReverseFind('.');
        if (dot > 0)
            wavName = wavName.Left(dot + 1) + "wav";
        if (!NameTaken(wavName))
            return wavName;
    }
}

CString ChooseOutputName(const CString& inputPath)
{
    CString candidate = DeriveOutputPath(inputPath);
    return CanCreate(candidate) ? candidate : TemporaryOutputPath();
}
