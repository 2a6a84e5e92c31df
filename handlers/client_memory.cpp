#include "handlers/client_memory.h"

#include <array>
#include <atomic>
#include <iterator>

#include <winternl.h>

namespace {

constexpr DWORD kReadableProtections = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritableProtections =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// The allocation bases of what each running thread of the service (the main thread, three
// workers, a file sender) keeps in private memory of its own: its stack and its thread
// environment block. 0 marks a free slot; a thread beyond the slots runs unlisted rather
// than failing.
constexpr size_t kServiceRegionSlots = 8 * ServiceThreadRegions::kRegionCount;
std::array<std::atomic<ULONG_PTR>, kServiceRegionSlots> g_serviceRegions{};

// A stack is reserved as one allocation, guard pages included.
ULONG_PTR AllocationOf(const void *address)
{
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof(region)) == 0)
        return 0;
    return reinterpret_cast<ULONG_PTR>(region.AllocationBase);
}

// MinGW's NtCurrentTeb reads the thread block's address at fs:0x18 through a pointer based at
// address 0, which GCC takes for an access out of bounds.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
const TEB *CurrentThreadBlock()
{
    return NtCurrentTeb();
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The process parameters block as the system lays it out: winternl.h declares it only up
// to the command line, and the environment pointer comes next.
struct ProcessParametersHead {
    RTL_USER_PROCESS_PARAMETERS declared;
    PVOID environment;
};

// The system's records of the process, never a client's: the process environment block,
// the parameters block reached from it (current directory, DLL path, the environment
// pointer) and the environment, which the library reads on every call and a DLL load
// searches. The environment moves when a variable is set, so each check looks it up.
bool IsProcessRecord(const void *allocationBase)
{
    if (allocationBase == nullptr)
        return false;
    const PEB *process = CurrentThreadBlock()->ProcessEnvironmentBlock;
    const auto *parameters = reinterpret_cast<const ProcessParametersHead *>(process->ProcessParameters);
    const void *const records[] = {process, parameters, parameters != nullptr ? parameters->environment : nullptr};
    for (const void *record : records) {
        if (record != nullptr && AllocationOf(record) == reinterpret_cast<ULONG_PTR>(allocationBase))
            return true;
    }
    return false;
}

bool IsServiceThreadRegion(const void *allocationBase)
{
    const ULONG_PTR allocation = reinterpret_cast<ULONG_PTR>(allocationBase);
    for (const std::atomic<ULONG_PTR> &slot : g_serviceRegions) {
        if (allocation != 0 && slot.load() == allocation)
            return true;
    }
    return false;
}

// The regions of every heap of the process: its blocks are the service's own, whatever
// their protection. A heap is walked under its lock, since other threads allocate.
bool IsHeapAllocation(const void *allocationBase)
{
    HANDLE heaps[64];
    const DWORD heapCount = GetProcessHeaps(static_cast<DWORD>(std::size(heaps)), heaps);
    for (DWORD i = 0; i < heapCount && i < std::size(heaps); ++i) {
        if (heaps[i] == allocationBase)
            return true;
        if (!HeapLock(heaps[i]))
            continue;
        bool found = false;
        ULONG_PTR knownStart = 0;
        ULONG_PTR knownEnd = 0;
        PROCESS_HEAP_ENTRY entry{};
        while (!found && HeapWalk(heaps[i], &entry)) {
            const ULONG_PTR data = reinterpret_cast<ULONG_PTR>(entry.lpData);
            if (data >= knownStart && data < knownEnd)
                continue; // same region as the entry before: asked already
            MEMORY_BASIC_INFORMATION region{};
            if (VirtualQuery(entry.lpData, &region, sizeof(region)) == 0)
                continue;
            knownStart = reinterpret_cast<ULONG_PTR>(region.BaseAddress);
            knownEnd = knownStart + region.RegionSize;
            found = region.AllocationBase == allocationBase;
        }
        HeapUnlock(heaps[i]);
        if (found)
            return true;
    }
    return heapCount > std::size(heaps); // more heaps than the list holds: refuse to be safe
}

// A client's buffer is memory a client placed in the process (VirtualAllocEx): private,
// and none of the service's own. Images, mapped views, heaps, the process's records, and
// the stacks and environment blocks of the service's threads are refused.
bool IsClientRegion(const MEMORY_BASIC_INFORMATION &region)
{
    return region.Type == MEM_PRIVATE && !IsProcessRecord(region.AllocationBase) &&
           !IsServiceThreadRegion(region.AllocationBase) && !IsHeapAllocation(region.AllocationBase);
}

// Whether the region is committed with one of the protections, unguarded, and a client's.
bool IsClientRegionWith(const MEMORY_BASIC_INFORMATION &region, DWORD protections)
{
    return region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD) == 0 && (region.Protect & protections) != 0 &&
           IsClientRegion(region);
}

// Walks the regions that cover [address, address + size) and asks each for the access.
bool IsRangeCommittedWith(const void *address, size_t size, DWORD protections)
{
    if (address == nullptr)
        return false;
    const ULONG_PTR start = reinterpret_cast<ULONG_PTR>(address);
    if (size == 0)
        return true;
    if (start + size < start)
        return false;
    ULONG_PTR cursor = start;
    const ULONG_PTR end = start + size;
    while (cursor < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(reinterpret_cast<const void *>(cursor), &region, sizeof(region)) == 0)
            return false;
        if (!IsClientRegionWith(region, protections))
            return false;
        const ULONG_PTR regionEnd = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
        if (regionEnd <= cursor)
            return false;
        cursor = regionEnd;
    }
    return true;
}

} // namespace

size_t ClientReadableBytesAt(const void *address, size_t most)
{
    MEMORY_BASIC_INFORMATION region{};
    if (address == nullptr || most == 0 || VirtualQuery(address, &region, sizeof(region)) == 0)
        return 0;
    if (!IsClientRegionWith(region, kReadableProtections))
        return 0;
    const ULONG_PTR regionEnd = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
    const size_t inRegion = static_cast<size_t>(regionEnd - reinterpret_cast<ULONG_PTR>(address));
    return inRegion < most ? inRegion : most;
}

bool IsClientRangeReadable(const void *address, size_t size)
{
    return IsRangeCommittedWith(address, size, kReadableProtections);
}

bool IsClientRangeWritable(void *address, size_t size)
{
    return IsRangeCommittedWith(address, size, kWritableProtections);
}

namespace {

ULONG_PTR ClaimRegionSlot(ULONG_PTR allocation)
{
    for (std::atomic<ULONG_PTR> &slot : g_serviceRegions) {
        ULONG_PTR expected = 0;
        if (allocation != 0 && slot.compare_exchange_strong(expected, allocation))
            return allocation;
    }
    return 0;
}

void ReleaseRegionSlot(ULONG_PTR allocation)
{
    for (std::atomic<ULONG_PTR> &slot : g_serviceRegions) {
        ULONG_PTR expected = allocation;
        if (allocation != 0 && slot.compare_exchange_strong(expected, 0))
            return;
    }
}

} // namespace

ServiceThreadRegions::ServiceThreadRegions() : allocations_{}
{
    const int onThisStack = 0;
    const void *const ownRegions[kRegionCount] = {&onThisStack, CurrentThreadBlock()};
    for (size_t i = 0; i < kRegionCount; ++i)
        allocations_[i] = ClaimRegionSlot(AllocationOf(ownRegions[i]));
}

ServiceThreadRegions::~ServiceThreadRegions()
{
    // The stack and the thread's block are released when the thread ends; the addresses
    // may then serve a client.
    for (ULONG_PTR allocation : allocations_)
        ReleaseRegionSlot(allocation);
}
