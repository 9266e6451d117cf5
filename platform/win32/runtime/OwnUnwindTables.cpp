// Linked into every binary that ships with the C++ runtime linked in.
//
// Such a binary throws and catches its exceptions with its own copy of the
// unwinder, which must know the binary's unwind tables (.eh_frame). The
// runtime's start-up code registers them at load, but with the DLL build of
// the runtime, libgcc_s_dw2-1.dll, whenever a DLL of that name is already in
// the process (another component's runtime): this binary's own unwinder then
// finds no tables, and its first exception ends the process. So, in that
// case, the tables are registered with the binary's own unwinder as well.
#include <string.h>
#include <windows.h>

extern "C" {
extern IMAGE_DOS_HEADER __ImageBase;
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
}

namespace {

// The unwinder's bookkeeping for one table (six words in libgcc; room to
// spare).
void* g_object[16];
const void* g_tables = nullptr;

// The binary's .eh_frame section. Its name is longer than a section header
// holds, so the header names it by an offset into a string table that is not
// loaded (and is gone once the binary is stripped): it is the loaded,
// read-only data section so named whose contents start with a CIE (a length,
// then the CIE identifier 0 and version 1).
const void* OwnUnwindTables()
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(&__ImageBase);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    const DWORD wanted = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    const DWORD unwanted = IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_DISCARDABLE;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const char* name = reinterpret_cast<const char*>(section->Name);
        if ((section->Characteristics & (wanted | unwanted)) != wanted || section->Misc.VirtualSize < 9 ||
            !(name[0] == '/' || strncmp(name, ".eh_fram", 8) == 0))
            continue;
        const unsigned char* p = base + section->VirtualAddress;
        DWORD id;
        memcpy(&id, p + 4, 4);
        if (id == 0 && p[8] == 1)
            return p;
    }
    return nullptr;
}

struct Registration {
    Registration()
    {
        if (!GetModuleHandleA("libgcc_s_dw2-1.dll"))
            return;  // the start-up code registered them with this binary's unwinder
        g_tables = OwnUnwindTables();
        if (g_tables)
            __register_frame_info(g_tables, g_object);
    }
    ~Registration()
    {
        if (g_tables)
            __deregister_frame_info(g_tables);
    }
} g_registration;

}  // namespace
