// Files and folders on POSIX systems: a file's identity is its device and
// inode; giving back file space uses Linux's fallocate.
#include "Files.h"

#include <fcntl.h>
#include <linux/falloc.h>
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
