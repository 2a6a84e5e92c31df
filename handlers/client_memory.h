// Clients pass addresses in lParam that the service uses in its own process. A wrong
// address must cost the client its answer, never the instance its life: every range is
// checked before it is touched, without provoking an access violation. Only memory a
// client placed in the process (VirtualAllocEx: private, committed) counts as a client's:
// the service's image, mapped views, heaps, thread stacks and the process's own records
// (its block, its parameters, its environment) never do, so a client cannot have the
// service write over its own state.
#pragma once

#include <windows.h>

#include <array>

bool IsClientRangeReadable(const void *address, size_t size);
bool IsClientRangeWritable(void *address, size_t size);

// How many bytes from address, at most `most`, lie in the one region around it and may be
// read as a client's: 0 when none. For reading a string of unknown length region by region,
// since judging a region costs a walk of the process's heaps.
size_t ClientReadableBytesAt(const void *address, size_t most);

// A thread's stack and its environment block are committed read-write memory like a
// client's buffer, but a client address inside them would have the service overwrite
// frames in use, or the record the system keeps for the thread. While an instance of this
// guard lives, the calling thread's whole stack and its thread environment block count as
// no client memory. Every thread of the service holds one for its whole run:
//
//     CreateThread(nullptr, 0, RunAsServiceThread<WriteThread>, &g_writeDataEvent, 0, &id);
class ServiceThreadRegions {
public:
    ServiceThreadRegions();
    ~ServiceThreadRegions();
    ServiceThreadRegions(const ServiceThreadRegions &) = delete;
    ServiceThreadRegions &operator=(const ServiceThreadRegions &) = delete;

    // The stack and the thread's environment block.
    static constexpr size_t kRegionCount = 2;

private:
    std::array<ULONG_PTR, kRegionCount> allocations_; // 0 where unlisted
};

template <LPTHREAD_START_ROUTINE Routine>
DWORD WINAPI RunAsServiceThread(LPVOID parameter)
{
    const ServiceThreadRegions regions;
    return Routine(parameter);
}
