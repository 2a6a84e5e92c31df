// Measures another process from outside, in the ways that work under Wine 8 as well as
// on Windows: GetProcessHandleCount answers 0 there for another process, so handles are
// counted in the system's handle list; private memory is read as PagefileUsage.
//
//     const size_t handles = CountProcessHandles(service.ProcessId());
//     const SIZE_T memory = PrivateMemoryBytes(service.Process());
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Entries of the system handle list (NtQuerySystemInformation class 16) owned by the
// process; 0 when the list cannot be read.
size_t CountProcessHandles(DWORD processId);

// Committed private memory of the process (PROCESS_MEMORY_COUNTERS.PagefileUsage).
SIZE_T PrivateMemoryBytes(HANDLE process);

// One thread of another process and its stack, [limit, base) as its TEB records it.
struct RemoteThreadStack {
    DWORD threadId = 0;
    ULONG_PTR stackLimit = 0; // lowest committed address
    ULONG_PTR stackBase = 0;  // one past the highest
};

// Every thread of the process whose stack could be read.
std::vector<RemoteThreadStack> ReadThreadStacks(HANDLE process, DWORD processId);

// The stack pointer of a thread of another process, read while the thread is suspended;
// 0 when it cannot be read.
ULONG_PTR ReadThreadStackPointer(DWORD threadId);

// The program names of the processes whose parent is the given process.
std::vector<std::string> FindChildProcesses(DWORD parentId);

// The registry value names under HKLM\<path>, sorted; empty when the key is missing.
std::vector<std::string> ListRegistryValueNames(const std::string &path);
