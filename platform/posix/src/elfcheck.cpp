// Checks of a shared object's file before dlopen maps it.
#include "elfcheck.h"

#include <windows.h>

#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// The ELF flavour of this process: ElfW() gives the structures of its class.
typedef ElfW(Ehdr) Ehdr;
typedef ElfW(Phdr) Phdr;
typedef ElfW(Shdr) Shdr;

const unsigned char kClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const unsigned char kData = ELFDATA2MSB;
#else
const unsigned char kData = ELFDATA2LSB;
#endif

#if defined(__x86_64__)
#define QV_ELF_MACHINE EM_X86_64
#elif defined(__i386__)
#define QV_ELF_MACHINE EM_386
#elif defined(__aarch64__)
#define QV_ELF_MACHINE EM_AARCH64
#elif defined(__arm__)
#define QV_ELF_MACHINE EM_ARM
#elif defined(__riscv)
#define QV_ELF_MACHINE EM_RISCV
#elif defined(__powerpc64__)
#define QV_ELF_MACHINE EM_PPC64
#elif defined(__powerpc__)
#define QV_ELF_MACHINE EM_PPC
#elif defined(__s390__)
#define QV_ELF_MACHINE EM_S390
#elif defined(__mips__)
#define QV_ELF_MACHINE EM_MIPS
#elif defined(__loongarch__)
#define QV_ELF_MACHINE EM_LOONGARCH
#endif

thread_local std::string t_loaderError;

// An open file, closed at the end of the scope.
class File {
public:
    explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    int fd() const { return fd_; }
    bool ReadAt(void* buffer, size_t size, uint64_t offset) const
    {
        return pread(fd_, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
};

// [offset, offset + count * entry) lies within size, without overflow.
bool Within(uint64_t offset, uint64_t count, uint64_t entry, uint64_t size)
{
    if (offset > size || (entry && count > (size - offset) / entry))
        return false;
    return true;
}

// The header's reason to be skipped or refused, "" when it is one of ours.
const char* HeaderProblem(const Ehdr& h)
{
    if (memcmp(h.e_ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    if (h.e_ident[EI_CLASS] != kClass)
        return kClass == ELFCLASS64 ? "a 32-bit ELF file, not 64-bit" : "a 64-bit ELF file, not 32-bit";
    if (h.e_ident[EI_DATA] != kData)
        return "an ELF file of the other byte order";
#ifdef QV_ELF_MACHINE
    if (h.e_machine != QV_ELF_MACHINE)
        return "an ELF file for another machine";
#endif
    if (h.e_ident[EI_VERSION] != EV_CURRENT || h.e_version != EV_CURRENT)
        return "an ELF file of an unknown version";
    return "";
}

std::string CheckFile(const std::string& path)
{
    File file(path);
    if (file.fd() < 0)
        return strerror(errno);
    struct stat st;
    if (fstat(file.fd(), &st) != 0)
        return strerror(errno);
    if (S_ISDIR(st.st_mode))
        return strerror(EISDIR);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size == 0)
        return "an empty file";

    Ehdr h;
    memset(&h, 0, sizeof h);
    if (size < sizeof h) {
        bool elf = file.ReadAt(&h, size < SELFMAG ? size : SELFMAG, 0) && memcmp(&h, ELFMAG, SELFMAG) == 0;
        return elf || size < SELFMAG ? "file too short for an ELF header" : "not an ELF file";
    }
    if (!file.ReadAt(&h, sizeof h, 0))
        return strerror(errno ? errno : EIO);
    if (*HeaderProblem(h))
        return HeaderProblem(h);
    if (h.e_type != ET_DYN)
        return "an ELF file, but not a shared object";
    if (h.e_ehsize < sizeof(Ehdr) || h.e_phentsize != sizeof(Phdr) || h.e_phnum == 0 || h.e_phnum == PN_XNUM)
        return "damaged ELF header";
    if (!Within(h.e_phoff, h.e_phnum, sizeof(Phdr), size))
        return "truncated: the program headers run past the end of the file";
    std::vector<Phdr> ph(h.e_phnum);
    if (!file.ReadAt(ph.data(), ph.size() * sizeof(Phdr), h.e_phoff))
        return "truncated: the program headers cannot be read";
    bool loadable = false;
    for (const Phdr& p : ph) {
        if (!Within(p.p_offset, p.p_filesz, 1, size))
            return "truncated: a segment runs past the end of the file";
        if (p.p_type == PT_LOAD) {
            loadable = true;
            if (p.p_filesz > p.p_memsz)
                return "damaged program header: a segment is larger in the file than in memory";
        }
    }
    if (!loadable)
        return "damaged: no loadable segment";
    if (h.e_shoff != 0 || h.e_shnum != 0) {
        // A count of 0 with a table present means the count is in entry 0.
        uint64_t sections = h.e_shnum;
        if (h.e_shentsize != sizeof(Shdr) || !Within(h.e_shoff, 1, sizeof(Shdr), size))
            return "truncated: the section headers run past the end of the file";
        if (sections == 0) {
            Shdr first;
            if (!file.ReadAt(&first, sizeof first, h.e_shoff))
                return "truncated: the section headers cannot be read";
            sections = first.sh_size;
        }
        if (!Within(h.e_shoff, sections, sizeof(Shdr), size))
            return "truncated: the section headers run past the end of the file";
    }

    // The loader reads the dynamic section from memory: it must be in the
    // part of a segment that comes from the file.
    for (const Phdr& d : ph) {
        if (d.p_type != PT_DYNAMIC)
            continue;
        bool inside = false;
        for (const Phdr& p : ph)
            if (p.p_type == PT_LOAD && d.p_vaddr >= p.p_vaddr && d.p_filesz <= p.p_filesz &&
                d.p_vaddr - p.p_vaddr <= p.p_filesz - d.p_filesz)
                inside = true;
        if (!inside)
            return "damaged: the dynamic section lies outside the loaded segments";
    }
    return "";
}

// The folders the system loader searches for a bare name on behalf of the
// object that holds this code, in its order.
std::vector<std::string> SearchFolders()
{
    std::vector<std::string> folders;
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&SearchFolders), &info) || !info.dli_fname)
        return folders;
    void* self = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!self)
        self = dlopen(nullptr, RTLD_LAZY);
    if (!self)
        return folders;
    Dl_serinfo sizes;
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, &sizes) == 0 && sizes.dls_size >= sizeof(Dl_serinfo)) {
        std::vector<unsigned char> buffer(sizes.dls_size);
        Dl_serinfo* serinfo = reinterpret_cast<Dl_serinfo*>(buffer.data());
        memcpy(serinfo, &sizes, sizeof sizes);
        if (dlinfo(self, RTLD_DI_SERINFOSIZE, serinfo) == 0 && dlinfo(self, RTLD_DI_SERINFO, serinfo) == 0)
            for (unsigned i = 0; i < serinfo->dls_cnt; ++i)
                if (serinfo->dls_serpath[i].dls_name && *serinfo->dls_serpath[i].dls_name)
                    folders.push_back(serinfo->dls_serpath[i].dls_name);
    }
    dlclose(self);
    return folders;
}

}  // namespace

std::string SharedObjectProblem(const std::string& path)
{
    std::string problem = CheckFile(path);
    return problem.empty() ? problem : path + ": not a loadable shared object: " + problem;
}

bool IsElfForThisProcess(const std::string& path)
{
    File file(path);
    Ehdr h;
    struct stat st;
    return file.fd() >= 0 && fstat(file.fd(), &st) == 0 && S_ISREG(st.st_mode) &&
           file.ReadAt(&h, sizeof h, 0) && !*HeaderProblem(h);
}

void SetLoaderError(const std::string& text)
{
    t_loaderError = text;
}

void* OpenCheckedSharedObject(const std::string& name)
{
    std::string checked = name;
    if (name.find('/') == std::string::npos) {
        checked.clear();
        for (std::string folder : SearchFolders()) {
            if (folder.back() != '/')
                folder += '/';
            if (IsElfForThisProcess(folder + name)) {
                checked = folder + name;
                break;
            }
        }
    }
    if (!checked.empty()) {
        std::string problem = SharedObjectProblem(checked);
        if (!problem.empty()) {
            SetLoaderError(problem);
            return nullptr;
        }
    }
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) {
        SetLoaderError(std::string());
        return handle;
    }
    // The loader's words name the file at fault; when that is a dependency,
    // the module that needs it goes in front.
    const char* why = dlerror();
    std::string text = why ? why : "the system loader refused it";
    if (text.compare(0, name.size(), name) != 0)
        text = name + ": " + text;
    SetLoaderError(text);
    return nullptr;
}

extern "C" LPCSTR WINAPI QvLoaderError(void)
{
    return t_loaderError.c_str();
}
