#include "process_cost.h"
#include "core/entry_point.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;

// One entry of the system's handle list.
struct SystemHandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleList {
    ULONG count;
    SystemHandleEntry handles[1];
};

using QuerySystemInformationFn = NTSTATUS(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
using QueryObjectFn = NTSTATUS(WINAPI *)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <typename EntryPoint>
EntryPoint ResolveNtdll(const char *name)
{
    return BindEntryPoint<EntryPoint>(GetModuleHandleA("ntdll.dll"), name);
}

std::string Narrow(const UNICODE_STRING &text)
{
    std::string narrow;
    for (USHORT i = 0; i < text.Length / sizeof(WCHAR); ++i)
        narrow += text.Buffer[i] < 0x80 ? static_cast<char>(text.Buffer[i]) : '?';
    return narrow;
}

// "Type name" of a handle of another process, its name without the object directory.
std::string DescribeHandle(HANDLE process, USHORT handle)
{
    static const QueryObjectFn queryObject = ResolveNtdll<QueryObjectFn>("NtQueryObject");
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)), GetCurrentProcess(), &copy,
                         0, FALSE, DUPLICATE_SAME_ACCESS))
        return "(not duplicable)";
    alignas(8) char type[1024];
    alignas(8) char name[2048];
    ULONG length = 0;
    std::string kind = queryObject(copy, kObjectTypeInformation, type, sizeof(type), &length) == 0
                           ? Narrow(*reinterpret_cast<UNICODE_STRING *>(type))
                           : std::string();
    if (kind.empty())
        kind = "(no type)";
    if (queryObject(copy, kObjectNameInformation, name, sizeof(name), &length) == 0) {
        const std::string full = Narrow(*reinterpret_cast<UNICODE_STRING *>(name));
        if (!full.empty())
            kind += " " + (kind == "Event" ? full.substr(full.find_last_of('\\') + 1) : full);
    }
    CloseHandle(copy);
    return kind;
}

int CountThreads(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int threads = -1;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId)
            threads = static_cast<int>(entry.cntThreads);
    }
    CloseHandle(snapshot);
    return threads;
}

bool ReadHandles(HANDLE process, DWORD processId, ProcessCost *cost)
{
    static const QuerySystemInformationFn querySystem =
        ResolveNtdll<QuerySystemInformationFn>("NtQuerySystemInformation");
    std::vector<char> buffer(1 << 20);
    ULONG length = 0;
    if (querySystem(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0)
        return false;
    const SystemHandleList *list = reinterpret_cast<const SystemHandleList *>(buffer.data());
    for (ULONG i = 0; i < list->count; ++i) {
        if (list->handles[i].processId != processId)
            continue;
        ++cost->handles;
        ++cost->handleKinds[DescribeHandle(process, list->handles[i].handle)];
    }
    return cost->handles > 0;
}

bool ReadMemory(HANDLE process, PROCESS_MEMORY_COUNTERS *counters)
{
    *counters = PROCESS_MEMORY_COUNTERS();
    counters->cb = sizeof(*counters);
    return GetProcessMemoryInfo(process, counters, sizeof(*counters)) != FALSE;
}

} // namespace

double ReadPrivateBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters;
    return ReadMemory(process, &counters) ? static_cast<double>(counters.PagefileUsage) : -1.0;
}

bool ReadProcessCost(HANDLE process, DWORD processId, ProcessCost *cost)
{
    *cost = ProcessCost();
    PROCESS_MEMORY_COUNTERS counters;
    if (!ReadMemory(process, &counters))
        return false;
    cost->privateBytes = static_cast<double>(counters.PagefileUsage);
    cost->workingSetBytes = static_cast<double>(counters.WorkingSetSize);
    cost->threads = CountThreads(processId);
    return cost->threads > 0 && ReadHandles(process, processId, cost);
}

HandleKinds HandleDifference(const HandleKinds &a, const HandleKinds &b)
{
    HandleKinds difference = a;
    for (const auto &kind : b)
        difference[kind.first] -= kind.second;
    for (auto kind = difference.begin(); kind != difference.end();) {
        if (kind->second == 0)
            kind = difference.erase(kind);
        else
            ++kind;
    }
    return difference;
}
