// Buffered RIFF file writing with the semantics of the multimedia file I/O:
// chunk headers written on create, sizes fixed on ascend. Every write, seek,
// flush and close is checked; a failed flush leaves the position at the end of
// what really reached the file, so that sizes patched afterwards describe the
// file as it is.
#include <mmsystem.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

struct HMMIO__ {
    int fd;
    char* buf;       // pending bytes, to be written at bufStart
    LONG bufSize;
    LONG used;       // bytes pending in buf
    int64_t bufStart;  // file offset of buf[0]
    int64_t pos;     // logical position: bufStart + used while buffering
};

namespace {

// Chunk offsets and sizes are 32-bit; the file never grows past them.
const int64_t kMaxOffset = 0xffffffffLL;

bool WriteAll(int fd, const char* p, size_t n, size_t* written)
{
    *written = 0;
    while (*written < n) {
        ssize_t k = write(fd, p + *written, n - *written);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (k == 0)
            return false;
        *written += static_cast<size_t>(k);
    }
    return true;
}

// Writes the pending bytes. On failure the position falls back to the end of
// what was written.
bool Flush(HMMIO h)
{
    if (h->used == 0)
        return true;
    if (lseek(h->fd, h->bufStart, SEEK_SET) < 0) {
        h->used = 0;
        h->pos = h->bufStart;
        return false;
    }
    size_t written = 0;
    bool ok = WriteAll(h->fd, h->buf, static_cast<size_t>(h->used), &written);
    h->bufStart += static_cast<int64_t>(written);
    h->pos = h->bufStart;
    h->used = 0;
    return ok;
}

// Moves to an absolute position; pending bytes are flushed first.
bool SeekTo(HMMIO h, int64_t target)
{
    if (target < 0 || target > kMaxOffset)
        return false;
    if (!Flush(h))
        return false;
    h->bufStart = target;
    h->pos = target;
    return true;
}

LONG Write(HMMIO h, const char* pch, LONG cch)
{
    if (cch < 0 || h->pos + cch > kMaxOffset)
        return -1;
    if (cch == 0)
        return 0;
    if (h->used + cch > h->bufSize) {
        if (!Flush(h))
            return -1;
        if (cch >= h->bufSize) {
            size_t written = 0;
            bool ok = lseek(h->fd, h->pos, SEEK_SET) >= 0 &&
                      WriteAll(h->fd, pch, static_cast<size_t>(cch), &written);
            h->pos += static_cast<int64_t>(written);
            h->bufStart = h->pos;
            return ok ? cch : -1;
        }
    }
    memcpy(h->buf + h->used, pch, static_cast<size_t>(cch));
    h->used += cch;
    h->pos += cch;
    return cch;
}

void PutLE32(char* p, DWORD v)
{
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>((v >> 8) & 0xff);
    p[2] = static_cast<char>((v >> 16) & 0xff);
    p[3] = static_cast<char>((v >> 24) & 0xff);
}

// Creating empties the file. One that is empty already (a name the caller
// reserved beforehand, say) is left alone: truncating it anyway makes some
// file systems (ext4) write the whole file out when it is closed, which the
// conversion would then wait for.
bool Truncate(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    return st.st_size == 0 || ftruncate(fd, 0) == 0;
}

UINT OpenError(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return MMIOERR_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return MMIOERR_ACCESSDENIED;
    case ENOMEM:
        return MMIOERR_OUTOFMEMORY;
    default:
        return MMIOERR_CANNOTOPEN;
    }
}

}  // namespace

extern "C" HMMIO WINAPI mmioOpenA(LPSTR pszFileName, LPMMIOINFO info, DWORD fdwOpen)
{
    UINT err = MMSYSERR_NOERROR;
    HMMIO h = nullptr;
    LONG bufSize = (info && info->cchBuffer > 0) ? info->cchBuffer : MMIO_DEFAULTBUFFER;
    int access = fdwOpen & (MMIO_WRITE | MMIO_READWRITE);
    if (!pszFileName || !*pszFileName) {
        err = MMIOERR_CANNOTOPEN;
    } else if (access == 0) {
        err = MMIOERR_CANNOTOPEN;  // reading is not supported by this backend
    } else {
        int flags = (access == MMIO_READWRITE ? O_RDWR : O_WRONLY) | O_CLOEXEC;
        if (fdwOpen & MMIO_CREATE)
            flags |= O_CREAT;
        h = static_cast<HMMIO>(calloc(1, sizeof *h));
        char* buf = h ? static_cast<char*>(malloc(static_cast<size_t>(bufSize))) : nullptr;
        if (!h || !buf) {
            free(buf);
            free(h);
            h = nullptr;
            err = MMIOERR_OUTOFMEMORY;
        } else {
            h->fd = open(pszFileName, flags, 0666);
            if (h->fd >= 0 && (fdwOpen & MMIO_CREATE) && !Truncate(h->fd)) {
                int truncateError = errno;
                close(h->fd);
                h->fd = -1;
                errno = truncateError;
            }
            if (h->fd < 0) {
                err = OpenError(errno);
                free(buf);
                free(h);
                h = nullptr;
            } else {
                h->buf = buf;
                h->bufSize = bufSize;
            }
        }
    }
    if (info) {
        info->wErrorRet = err;
        info->hmmio = h;
    }
    return h;
}

extern "C" LONG WINAPI mmioWrite(HMMIO h, const char* pch, LONG cch)
{
    if (!h || (!pch && cch > 0))
        return -1;
    return Write(h, pch, cch);
}

extern "C" LONG WINAPI mmioSeek(HMMIO h, LONG lOffset, int iOrigin)
{
    if (!h)
        return -1;
    int64_t target;
    switch (iOrigin) {
    case SEEK_SET:
        target = lOffset;
        break;
    case SEEK_CUR:
        if (lOffset == 0)
            return static_cast<LONG>(h->pos);
        target = h->pos + lOffset;
        break;
    case SEEK_END: {
        if (!Flush(h))
            return -1;
        off_t end = lseek(h->fd, 0, SEEK_END);
        if (end < 0)
            return -1;
        target = static_cast<int64_t>(end) + lOffset;
        break;
    }
    default:
        return -1;
    }
    return SeekTo(h, target) ? static_cast<LONG>(h->pos) : -1;
}

extern "C" MMRESULT WINAPI mmioCreateChunk(HMMIO h, LPMMCKINFO lpck, UINT wFlags)
{
    if (!h || !lpck)
        return MMIOERR_CANNOTWRITE;
    if (wFlags & MMIO_CREATERIFF)
        lpck->ckid = FOURCC_RIFF;
    else if (wFlags & MMIO_CREATELIST)
        lpck->ckid = FOURCC_LIST;
    bool withType = (wFlags & (MMIO_CREATERIFF | MMIO_CREATELIST)) != 0;

    char header[12];
    PutLE32(header, lpck->ckid);
    PutLE32(header + 4, lpck->cksize);
    PutLE32(header + 8, lpck->fccType);
    LONG size = withType ? 12 : 8;
    int64_t start = h->pos;
    if (Write(h, header, size) != size)
        return MMIOERR_CANNOTWRITE;
    lpck->dwDataOffset = static_cast<DWORD>(start + 8);
    lpck->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI mmioAscend(HMMIO h, LPMMCKINFO lpck, UINT /*wFlags*/)
{
    if (!h || !lpck)
        return MMIOERR_CANNOTSEEK;
    if (lpck->dwFlags & MMIO_DIRTY) {
        int64_t size = h->pos - static_cast<int64_t>(lpck->dwDataOffset);
        if (size < 0 || size > 0xffffffffLL)
            return MMIOERR_CANNOTSEEK;
        DWORD newSize = static_cast<DWORD>(size);
        if (newSize != lpck->cksize) {
            if (newSize & 1) {
                const char pad = 0;
                if (Write(h, &pad, 1) != 1)
                    return MMIOERR_CANNOTWRITE;
            }
            char field[4];
            PutLE32(field, newSize);
            if (!SeekTo(h, static_cast<int64_t>(lpck->dwDataOffset) - 4))
                return MMIOERR_CANNOTSEEK;
            if (Write(h, field, 4) != 4 || !Flush(h))
                return MMIOERR_CANNOTWRITE;
            lpck->cksize = newSize;
        }
        lpck->dwFlags &= ~static_cast<DWORD>(MMIO_DIRTY);
    }
    int64_t end = static_cast<int64_t>(lpck->dwDataOffset) + ((static_cast<int64_t>(lpck->cksize) + 1) & ~1LL);
    if (end != h->pos && !SeekTo(h, end))
        return MMIOERR_CANNOTSEEK;
    return MMSYSERR_NOERROR;
}

extern "C" MMRESULT WINAPI mmioClose(HMMIO h, UINT /*wFlags*/)
{
    if (!h)
        return MMIOERR_CANNOTCLOSE;
    bool flushed = Flush(h);
    bool closed = close(h->fd) == 0;
    free(h->buf);
    free(h);
    if (!flushed)
        return MMIOERR_CANNOTWRITE;
    return closed ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
}
