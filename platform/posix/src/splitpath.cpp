// _splitpath / _makepath of the C runtime. The buffers are the caller's and
// carry no size, so both functions write exactly what their contracts in
// <windows.h> promise and nothing more: no part written by _splitpath is
// longer than the path it came from.
#include <windows.h>

#include <string.h>

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void CopyPart(char* dst, const char* src, size_t n)
{
    if (!dst)
        return;
    memcpy(dst, src, n);
    dst[n] = '\0';
}

char* Append(char* out, const char* s)
{
    size_t n = strlen(s);
    memcpy(out, s, n);
    return out + n;
}

}  // namespace

extern "C" void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext)
{
    if (!path)
        path = "";

    size_t driveLength = (IsAsciiLetter(path[0]) && path[1] == ':') ? 2 : 0;
    CopyPart(drive, path, driveLength);
    const char* rest = path + driveLength;

    // The directory ends at the last separator; the extension starts at the
    // last dot after it.
    const char* name = rest;
    const char* dot = nullptr;
    for (const char* p = rest; *p; ++p) {
        if (IsSeparator(*p)) {
            name = p + 1;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
    }
    const char* end = name + strlen(name);
    if (!dot)
        dot = end;
    CopyPart(dir, rest, static_cast<size_t>(name - rest));
    CopyPart(fname, name, static_cast<size_t>(dot - name));
    CopyPart(ext, dot, static_cast<size_t>(end - dot));
}

extern "C" void _makepath(char* path, const char* drive, const char* dir, const char* fname,
                          const char* ext)
{
    if (!path)
        return;
    char* out = path;
    if (drive && *drive) {
        *out++ = drive[0];
        *out++ = ':';
    }
    if (dir && *dir) {
        out = Append(out, dir);
        if (!IsSeparator(out[-1])) {
            // Continue in the separator the folder is already written in.
            const char* lastSep = nullptr;
            for (const char* p = dir; *p; ++p)
                if (IsSeparator(*p))
                    lastSep = p;
            *out++ = lastSep ? *lastSep : '/';
        }
    }
    if (fname)
        out = Append(out, fname);
    if (ext && *ext) {
        if (ext[0] != '.')
            *out++ = '.';
        out = Append(out, ext);
    }
    *out = '\0';
}
