#include "client/client_memory.h"

namespace {

constexpr DWORD kReadableProtections = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritableProtections = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                                       PAGE_EXECUTE_WRITECOPY;

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
            (region.Protect & protections) == 0)
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
