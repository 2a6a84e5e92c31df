// What a running process holds, read from outside as Wine allows it: private memory
// (PagefileUsage; PrivateUsage reads 0 under Wine), working set, threads (a Toolhelp
// snapshot) and every handle with its type and name (the system's handle list;
// GetProcessHandleCount of another process answers 0 under Wine).
#pragma once

#include <windows.h>

#include <map>
#include <string>

// "Event QelApp32_Write_DataX", "Thread", "Key \REGISTRY\Machine", ... to how many of each.
using HandleKinds = std::map<std::string, int>;

struct ProcessCost {
    double privateBytes = 0;
    double workingSetBytes = 0;
    int threads = 0;
    int handles = 0;
    HandleKinds handleKinds;
};

// The process handle needs query, read and duplicate access (CreateProcess gives all).
bool ReadProcessCost(HANDLE process, DWORD processId, ProcessCost *cost);
// Private memory alone, cheap enough to sample while the process works; negative on failure.
double ReadPrivateBytes(HANDLE process);
// Each kind's count in a less that in b; kinds that are equal are left out.
HandleKinds HandleDifference(const HandleKinds &a, const HandleKinds &b);
