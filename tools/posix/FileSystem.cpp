// The command's file-system and process questions on POSIX systems; the
// read position comes from Linux's /proc, and giving back file space from
// its fallocate.
#include "FileSystem.h"

#include <dirent.h>
#include <linux/falloc.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>

namespace {

FileId IdOf(const struct stat& st)
{
    FileId id;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.node = static_cast<uint64_t>(st.st_ino);
    id.valid = true;
    return id;
}

PathKind KindOf(const struct stat& st)
{
    return S_ISREG(st.st_mode) ? PathKind::kFile : S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

}  // namespace

PathKind Inspect(const std::string& path, FileId* id)
{
    struct stat st;
    *id = FileId();
    if (lstat(path.c_str(), &st) != 0)
        return PathKind::kMissing;
    if (S_ISLNK(st.st_mode)) {
        if (stat(path.c_str(), &st) != 0)
            return PathKind::kOther;  // a link to nothing still takes the name
    }
    *id = IdOf(st);
    return KindOf(st);
}

FileId IdentityOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? IdOf(st) : FileId();
}

bool CreateNewFile(const std::string& path, FileId* id, bool* exists, std::string* error)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    *exists = fd < 0 && errno == EEXIST;
    if (fd < 0) {
        *error = strerror(errno);
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok)
        *id = IdOf(st);
    else
        *error = strerror(errno);
    if (close(fd) != 0 && ok) {
        ok = false;
        *error = strerror(errno);
    }
    if (!ok)
        unlink(path.c_str());
    return ok;
}

void RemoveIfSame(const std::string& path, const FileId& id)
{
    struct stat st;
    if (id.valid && lstat(path.c_str(), &st) == 0 && IdOf(st) == id)
        unlink(path.c_str());
}

std::string TemporaryFolder()
{
    const char* dir = getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ResolvedFolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char* resolved = realpath(folder.c_str(), nullptr);
    if (!resolved)
        return std::string();
    std::string result = resolved;
    free(resolved);
    return result;
}

bool IsSystemFolder(const std::string& folder)
{
    for (const char* root : {"/dev", "/proc", "/sys"}) {
        size_t n = strlen(root);
        if (folder.compare(0, n, root) == 0 && (folder.size() == n || folder[n] == '/'))
            return true;
    }
    return false;
}

std::string StandardInputName()
{
    return "/dev/stdin";
}

bool StandardOutputSeekable(uint64_t* start)
{
    struct stat st;
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    if (fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || (flags & O_APPEND))
        return false;
    off_t at = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (at < 0)
        return false;
    *start = static_cast<uint64_t>(at);
    return true;
}

bool WriteStandardOutput(const void* data, size_t size, size_t* written, int* error)
{
    ssize_t n = write(STDOUT_FILENO, data, size);
    if (n > 0) {
        *written = static_cast<size_t>(n);
        return true;
    }
    *error = n < 0 ? errno : EIO;
    return false;
}

bool WriteStandardOutputAt(uint64_t offset, const void* data, size_t size, int* error)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite(STDOUT_FILENO, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool IsClosedOutputError(int error)
{
    return error == EPIPE;
}

bool IsInterruptedError(int error)
{
    return error == EINTR;
}

bool SeekFile(FILE* file, uint64_t position)
{
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

void ReleaseFileSpace(const std::string& path, uint64_t from, uint64_t to)
{
    const uint64_t block = 1 << 16;
    from = (from + block - 1) / block * block;
    to = to / block * block;
    if (to <= from)
        return;
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Not every file system can; the file is then only larger than it needs to be.
    (void)fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                    static_cast<off_t>(to - from));
    close(fd);
}

uint64_t FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool ReadPosition(long pid, const FileId& file, uint64_t* position)
{
    std::string base = "/proc/" + std::to_string(pid);
    DIR* fds = opendir((base + "/fd").c_str());
    if (!fds)
        return false;
    bool found = false;
    while (struct dirent* e = readdir(fds)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        if (stat((base + "/fd/" + e->d_name).c_str(), &st) != 0 || !(IdOf(st) == file))
            continue;
        FILE* info = fopen((base + "/fdinfo/" + e->d_name).c_str(), "r");
        if (!info)
            continue;
        unsigned long long pos;
        if (fscanf(info, "pos: %llu", &pos) == 1) {
            *position = pos;
            found = true;
        }
        fclose(info);
        if (found)
            break;
    }
    closedir(fds);
    return found;
}

size_t StandardErrorTerminalWidth()
{
    if (!isatty(STDERR_FILENO))
        return 0;
    struct winsize size;
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
}

unsigned UsableCores()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<unsigned>(n) : 1u;
}

void OpenStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd)
            break;
}

int LastSystemError()
{
    return errno;
}

std::string SystemErrorText(int code)
{
    return strerror(code);
}

void ClearSystemError()
{
    errno = 0;
}

std::string OpenForReadingProblem(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return strerror(EISDIR);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return strerror(errno);
    close(fd);
    return std::string();
}

std::string WriteFailureText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
    case ENXIO:
    case EROFS:
        return strerror(error);
    default:
        return std::string();
    }
}
