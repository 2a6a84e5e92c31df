// Memory placed inside another process: the service uses lParam as an address in its own
// address space, so a client puts every buffer the service reads or writes there. One
// owner for qelctl, the benchmark and the tests; depends on nothing but Windows.
//
//     RemoteMemory reply(process, 1024);
//     SendMessageTimeoutA(window, WM_QELAPP32_READ, 1024, reply.Address(), ...);
//     const std::string bytes = reply.Read(answer);
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include "core/owned.h"

struct RemoteRegionPolicy {
    struct Value {
        HANDLE process;
        void *address;
    };
    static Value Invalid() { return {nullptr, nullptr}; }
    static bool IsValid(const Value &region) { return region.address != nullptr; }
    static void Close(const Value &region) { VirtualFreeEx(region.process, region.address, 0, MEM_RELEASE); }
};

class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size, DWORD protection = PAGE_READWRITE,
                 DWORD allocationType = MEM_RESERVE | MEM_COMMIT)
        : size_(size),
          region_({process, process == nullptr ? nullptr
                                               : VirtualAllocEx(process, nullptr, std::max<size_t>(size, 1),
                                                                allocationType, protection)})
    {
    }

    bool IsValid() const { return region_.IsValid(); }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(region_.Get().address); }
    size_t Size() const { return size_; }

    // False when the bytes do not fit behind offset or cannot all be written.
    bool Write(const std::string &bytes, size_t offset = 0)
    {
        if (!IsValid() || offset > size_ || bytes.size() > size_ - offset)
            return false;
        SIZE_T written = 0;
        return WriteProcessMemory(Process(), At(offset), bytes.data(), bytes.size(), &written) &&
               written == bytes.size();
    }

    // Up to size bytes from offset, within the region; fewer when the read fails part way.
    std::string Read(size_t size, size_t offset = 0) const
    {
        if (!IsValid() || offset > size_)
            return std::string();
        std::string bytes(std::min(size, size_ - offset), '\0');
        SIZE_T read = 0;
        if (!bytes.empty() && !ReadProcessMemory(Process(), At(offset), &bytes[0], bytes.size(), &read))
            read = 0;
        bytes.resize(read);
        return bytes;
    }

    bool Protect(size_t offset, size_t size, DWORD protection)
    {
        DWORD old = 0;
        return IsValid() && VirtualProtectEx(Process(), At(offset), size, protection, &old) != 0;
    }

private:
    HANDLE Process() const { return region_.Get().process; }
    char *At(size_t offset) const { return static_cast<char *>(region_.Get().address) + offset; }

    size_t size_;
    Owned<RemoteRegionPolicy> region_;
};
