#include "support/thread_blocks.h"

#include <winternl.h>

#include "core/entry_point.h"
#include "core/owned.h"

namespace {

// ntdll's basic information of a thread (class 0), which winternl.h does not declare.
struct BasicThreadRecord {
    LONG exitStatus;
    void *threadBlock;
    CLIENT_ID clientId;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

using QueryThreadFn = LONG(WINAPI *)(HANDLE, int, void *, ULONG, ULONG *);
using QueryProcessFn = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);

HMODULE Ntdll()
{
    return GetModuleHandleA("ntdll.dll");
}

} // namespace

void *ThreadBlockOf(DWORD threadId)
{
    const auto query = BindEntryPoint<QueryThreadFn>(Ntdll(), "NtQueryInformationThread");
    const HandleGuard thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
    BasicThreadRecord information{};
    if (query == nullptr || !thread.IsValid() ||
        query(thread.Get(), 0, &information, sizeof(information), nullptr) != 0)
        return nullptr;
    return information.threadBlock;
}

void *ProcessBlockOf(HANDLE process)
{
    const auto query = BindEntryPoint<QueryProcessFn>(Ntdll(), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION information{};
    if (query == nullptr || query(process, ProcessBasicInformation, &information, sizeof(information), nullptr) != 0)
        return nullptr;
    return information.PebBaseAddress;
}
