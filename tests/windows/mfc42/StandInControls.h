// The stand-in MFC42.DLL's test controls, as a Visual C++-ABI test program
// finds them: by name, in the MFC42.DLL the process has loaded (a real
// MFC42.DLL has none of them).
#ifndef QUORVAN_MFC42_STANDINCONTROLS_H
#define QUORVAN_MFC42_STANDINCONTROLS_H

#include <windows.h>

struct StandInControls {
    void(__cdecl* FailAllocationsAfter)(int n);    // every allocation after the next n
    void(__cdecl* FailOneAllocationAfter)(int n);  // the one after the next n, alone
    int(__cdecl* Allocations)(void);
    int(__cdecl* LiveBuffers)(void);
    int(__cdecl* Faults)(void);

    // False when the loaded MFC42.DLL is not the stand-in.
    bool Load()
    {
        HMODULE mfc = GetModuleHandleA("MFC42.DLL");
        if (!mfc)
            return false;
        FailAllocationsAfter = reinterpret_cast<void(__cdecl*)(int)>(GetProcAddress(mfc, "QvMfcFailAllocationsAfter"));
        FailOneAllocationAfter =
            reinterpret_cast<void(__cdecl*)(int)>(GetProcAddress(mfc, "QvMfcFailOneAllocationAfter"));
        Allocations = reinterpret_cast<int(__cdecl*)(void)>(GetProcAddress(mfc, "QvMfcAllocations"));
        LiveBuffers = reinterpret_cast<int(__cdecl*)(void)>(GetProcAddress(mfc, "QvMfcLiveBuffers"));
        Faults = reinterpret_cast<int(__cdecl*)(void)>(GetProcAddress(mfc, "QvMfcFaults"));
        return FailAllocationsAfter && FailOneAllocationAfter && Allocations && LiveBuffers && Faults;
    }
};

#endif
