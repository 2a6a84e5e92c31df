#include "client/client_memory.h"

#include <array>
#include <atomic>

namespace {

constexpr DWORD kReadableProtections = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritableProtections = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                                       PAGE_EXECUTE_WRITECOPY;

// The allocation bases of the stacks of the service's running threads (the main thread,
// three workers, a file sender); 0 marks a free slot. A thread beyond the slots runs
// unlisted rather than failing.
constexpr size_t kServiceStackSlots = 16;
std::array<std::atomic<ULONG_PTR>, kServiceStackSlots> g_serviceStacks{};

// A stack is reserved as one allocation, guard pages included.
ULONG_PTR AllocationOf(const void *address)
{
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof(region)) == 0)
        return 0;
    return reinterpret_cast<ULONG_PTR>(region.AllocationBase);
}

bool IsServiceStack(const void *allocationBase)
{
    const ULONG_PTR allocation = reinterpret_cast<ULONG_PTR>(allocationBase);
    for (const std::atomic<ULONG_PTR> &slot : g_serviceStacks) {
        if (allocation != 0 && slot.load() == allocation)
            return true;
    }
    return false;
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
        if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) != 0 ||
            (region.Protect & protections) == 0 || IsServiceStack(region.AllocationBase))
            return false;
        const ULONG_PTR regionEnd = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
        if (regionEnd <= cursor)
            return false;
        cursor = regionEnd;
    }
    return true;
}

} // namespace

bool IsClientRangeReadable(const void *address, size_t size)
{
    return IsRangeCommittedWith(address, size, kReadableProtections);
}

bool IsClientRangeWritable(void *address, size_t size)
{
    return IsRangeCommittedWith(address, size, kWritableProtections);
}

ServiceThreadStack::ServiceThreadStack() : allocation_(0)
{
    const int onThisStack = 0;
    const ULONG_PTR allocation = AllocationOf(&onThisStack);
    for (std::atomic<ULONG_PTR> &slot : g_serviceStacks) {
        ULONG_PTR expected = 0;
        if (allocation != 0 && slot.compare_exchange_strong(expected, allocation)) {
            allocation_ = allocation;
            return;
        }
    }
}

ServiceThreadStack::~ServiceThreadStack()
{
    // The stack is released when the thread ends; the address may then serve a client.
    for (std::atomic<ULONG_PTR> &slot : g_serviceStacks) {
        ULONG_PTR expected = allocation_;
        if (allocation_ != 0 && slot.compare_exchange_strong(expected, 0))
            return;
    }
}
