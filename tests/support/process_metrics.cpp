#include "process_metrics.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>

#include "core/entry_point.h"
#include "core/owned.h"

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kThreadBasicInformation = 0;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// The layouts as ntdll hands them out to a 32-bit process.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};

struct ThreadBasicInformation {
    LONG exitStatus;
    PVOID tebBaseAddress;
    PVOID uniqueProcess;
    PVOID uniqueThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

using QuerySystemInformation = LONG(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
using QueryThreadInformation = LONG(WINAPI *)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <typename EntryPoint>
EntryPoint NtdllEntry(const char *name)
{
    return BindEntryPoint<EntryPoint>(GetModuleHandleA("ntdll.dll"), name);
}

using OwnedHandle = HandleGuard;

std::vector<DWORD> ThreadsOf(DWORD processId)
{
    std::vector<DWORD> threads;
    OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.IsValid())
        return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == processId)
            threads.push_back(entry.th32ThreadID);
    }
    return threads;
}

} // namespace

size_t CountProcessHandles(DWORD processId)
{
    const auto query = NtdllEntry<QuerySystemInformation>("NtQuerySystemInformation");
    if (query == nullptr)
        return 0;
    std::vector<BYTE> buffer(256 * 1024);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0)
            return 0;
        break;
    }
    const auto *list = reinterpret_cast<const SystemHandleList *>(buffer.data());
    size_t count = 0;
    for (ULONG i = 0; i < list->count; ++i) {
        if (list->entries[i].ownerPid == processId)
            ++count;
    }
    return count;
}

SIZE_T PrivateMemoryBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}

std::vector<RemoteThreadStack> ReadThreadStacks(HANDLE process, DWORD processId)
{
    std::vector<RemoteThreadStack> stacks;
    const auto query = NtdllEntry<QueryThreadInformation>("NtQueryInformationThread");
    if (query == nullptr)
        return stacks;
    for (DWORD threadId : ThreadsOf(processId)) {
        OwnedHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
        if (!thread.IsValid())
            continue;
        ThreadBasicInformation basic{};
        if (query(thread.Get(), kThreadBasicInformation, &basic, sizeof(basic), nullptr) < 0 ||
            basic.tebBaseAddress == nullptr)
            continue;
        // The TEB starts with the NT_TIB: exception list, stack base, stack limit.
        NT_TIB tib{};
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, basic.tebBaseAddress, &tib, sizeof(tib), &read) || read != sizeof(tib))
            continue;
        RemoteThreadStack stack;
        stack.threadId = threadId;
        stack.stackBase = reinterpret_cast<ULONG_PTR>(tib.StackBase);
        stack.stackLimit = reinterpret_cast<ULONG_PTR>(tib.StackLimit);
        if (stack.stackLimit < stack.stackBase)
            stacks.push_back(stack);
    }
    return stacks;
}

ULONG_PTR ReadThreadStackPointer(DWORD threadId)
{
    OwnedHandle thread(OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, threadId));
    if (!thread.IsValid() || SuspendThread(thread.Get()) == static_cast<DWORD>(-1))
        return 0;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    const BOOL read = GetThreadContext(thread.Get(), &context);
    ResumeThread(thread.Get());
    return read ? static_cast<ULONG_PTR>(context.Esp) : 0;
}

std::vector<std::string> FindChildProcesses(DWORD parentId)
{
    std::vector<std::string> children;
    OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return children;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId)
            children.push_back(entry.szExeFile);
    }
    return children;
}

std::vector<std::string> ListRegistryValueNames(const std::string &path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}
