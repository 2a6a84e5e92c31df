#include "remote_memory.h"

#include <algorithm>

HANDLE OpenInstanceProcess(const Instance &instance)
{
    const DWORD processId = InstanceProcessId(instance);
    if (processId == 0)
        return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION |
                           SYNCHRONIZE,
                       FALSE, processId);
}

RemoteBlock::RemoteBlock(HANDLE process, size_t size)
    : process_(process), size_(size),
      address_(process == nullptr ? nullptr
                                  : VirtualAllocEx(process, nullptr, std::max<size_t>(size, 1),
                                                   MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))
{
}

RemoteBlock::~RemoteBlock()
{
    if (address_ != nullptr)
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBlock::Write(const std::string &bytes)
{
    if (address_ == nullptr || bytes.size() > size_)
        return false;
    SIZE_T written = 0;
    return WriteProcessMemory(process_, address_, bytes.data(), bytes.size(), &written) && written == bytes.size();
}

std::string RemoteBlock::Read(size_t size) const
{
    if (address_ == nullptr)
        return std::string();
    std::string bytes(std::min(size, size_), '\0');
    SIZE_T read = 0;
    if (!bytes.empty() && !ReadProcessMemory(process_, address_, &bytes[0], bytes.size(), &read))
        read = 0;
    bytes.resize(read);
    return bytes;
}
