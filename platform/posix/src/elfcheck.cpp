// Checks of a shared object's file before the system loader maps it.
#include "elfcheck.h"

#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// The structures of this process's ELF class.
typedef ElfW(Ehdr) Ehdr;
typedef ElfW(Phdr) Phdr;
typedef ElfW(Shdr) Shdr;

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

// The ELF flavour of this process, read from the header of the object that
// holds this code as it is mapped in memory: the class, byte order and
// machine the system loader accepts here.
struct ProcessFlavour {
    unsigned char elfClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    unsigned char data = 0;
    bool machineKnown = false;
    ElfW(Half) machine = 0;

    ProcessFlavour()
    {
        const uint16_t probe = 1;
        data = *reinterpret_cast<const unsigned char*>(&probe) == 1 ? ELFDATA2LSB : ELFDATA2MSB;
        Dl_info info;
        if (dladdr(reinterpret_cast<void*>(&IsElfForThisProcess), &info) && info.dli_fbase) {
            const Ehdr* self = static_cast<const Ehdr*>(info.dli_fbase);
            if (memcmp(self->e_ident, ELFMAG, SELFMAG) == 0 && self->e_ident[EI_CLASS] == elfClass &&
                self->e_ident[EI_DATA] == data) {
                machineKnown = true;
                machine = self->e_machine;
            }
        }
    }
};

const ProcessFlavour& ThisProcess()
{
    static const ProcessFlavour flavour;
    return flavour;
}

// The header's reason to be skipped or refused, "" when it is one of ours.
const char* HeaderProblem(const Ehdr& h)
{
    const ProcessFlavour& ours = ThisProcess();
    if (memcmp(h.e_ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    if (h.e_ident[EI_CLASS] != ours.elfClass)
        return ours.elfClass == ELFCLASS64 ? "a 32-bit ELF file, not 64-bit" : "a 64-bit ELF file, not 32-bit";
    if (h.e_ident[EI_DATA] != ours.data)
        return "an ELF file of the other byte order";
    if (ours.machineKnown && h.e_machine != ours.machine)
        return "an ELF file for another machine";
    if (h.e_ident[EI_VERSION] != EV_CURRENT || h.e_version != EV_CURRENT)
        return "an ELF file of an unknown version";
    return "";
}

// The file itself: an open, non-empty regular file; its size.
std::string FileProblem(const File& file, uint64_t* size)
{
    if (file.fd() < 0)
        return strerror(errno);
    struct stat st;
    if (fstat(file.fd(), &st) != 0)
        return strerror(errno);
    if (S_ISDIR(st.st_mode))
        return strerror(EISDIR);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    *size = static_cast<uint64_t>(st.st_size);
    if (*size == 0)
        return "an empty file";
    return "";
}

// Every segment within the file, at least one of them loaded.
const char* SegmentProblem(const std::vector<Phdr>& ph, uint64_t size)
{
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
    return loadable ? "" : "damaged: no loadable segment";
}

// The section header table, where there is one, within the file.
const char* SectionProblem(const File& file, const Ehdr& h, uint64_t size)
{
    if (h.e_shoff == 0 && h.e_shnum == 0)
        return "";
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
    return "";
}

// The loader reads the dynamic section from memory: it must be in the part of
// a segment that comes from the file.
const char* DynamicProblem(const std::vector<Phdr>& ph)
{
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

std::string CheckFile(const std::string& path)
{
    File file(path);
    uint64_t size = 0;
    std::string problem = FileProblem(file, &size);
    if (!problem.empty())
        return problem;

    Ehdr h;
    memset(&h, 0, sizeof h);
    if (size < sizeof h) {
        bool elf = file.ReadAt(&h, size < SELFMAG ? size : SELFMAG, 0) && memcmp(&h, ELFMAG, SELFMAG) == 0;
        return elf || size < SELFMAG ? "file too short for an ELF header" : "not an ELF file";
    }
    if (!file.ReadAt(&h, sizeof h, 0))
        return strerror(errno ? errno : EIO);
    if (const char* why = HeaderProblem(h); *why)
        return why;
    if (h.e_type != ET_DYN)
        return "an ELF file, but not a shared object";
    if (h.e_ehsize < sizeof(Ehdr) || h.e_phentsize != sizeof(Phdr) || h.e_phnum == 0 || h.e_phnum == PN_XNUM)
        return "damaged ELF header";
    if (!Within(h.e_phoff, h.e_phnum, sizeof(Phdr), size))
        return "truncated: the program headers run past the end of the file";
    std::vector<Phdr> ph(h.e_phnum);
    if (!file.ReadAt(ph.data(), ph.size() * sizeof(Phdr), h.e_phoff))
        return "truncated: the program headers cannot be read";
    const char* why = SegmentProblem(ph, size);
    if (!*why)
        why = SectionProblem(file, h, size);
    if (!*why)
        why = DynamicProblem(ph);
    return why;
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
