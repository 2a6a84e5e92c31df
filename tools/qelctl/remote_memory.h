// Memory inside the instance's process. The instance uses lParam as an address in
// its own address space, so every buffer it reads or writes is placed there.
//
//     RemoteBlock block(process.Get(), 1024);
//     if (!block.IsValid()) ...;
//     SendToInstance(instance, WM_QELAPP32_READ, 1024, block.Address(), ...);
//     std::string bytes = block.Read(answer);
#pragma once

#include <windows.h>

#include <string>

#include "core/owned.h"
#include "instance.h"

// Opens the instance's process for reading and writing its memory and waiting on it.
HANDLE OpenInstanceProcess(const Instance &instance);

class RemoteBlock {
public:
    RemoteBlock(HANDLE process, size_t size);
    ~RemoteBlock();
    RemoteBlock(const RemoteBlock &) = delete;
    RemoteBlock &operator=(const RemoteBlock &) = delete;

    bool IsValid() const { return address_ != nullptr; }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Write(const std::string &bytes);
    // Up to size bytes; fewer if the read fails part way.
    std::string Read(size_t size) const;

private:
    HANDLE process_;
    size_t size_;
    void *address_;
};
