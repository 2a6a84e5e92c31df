#include "battery_support.h"

#include <cstring>

namespace {

constexpr size_t kPageSize = 4096;

size_t RoundUpToPages(size_t size)
{
    return (size + kPageSize - 1) / kPageSize * kPageSize;
}

} // namespace

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    // The block number at the head of every block makes a skipped or repeated block visible.
    for (size_t block = 0; block * 4096 + 4 <= size; ++block)
        std::memcpy(&bytes[block * 4096], &block, 4);
    return bytes;
}

SystemDirectoryFile::SystemDirectoryFile(const std::string &tag, size_t size) : bytes_(PatternBytes(size))
{
    static int counter = 0;
    name_ = "qelh7-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".bin";
    char directory[MAX_PATH];
    GetSystemDirectoryA(directory, MAX_PATH);
    path_ = std::string(directory) + "\\" + name_;
    HANDLE file =
        CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes_.empty())
        WriteFile(file, bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr);
    CloseHandle(file);
}

SystemDirectoryFile::~SystemDirectoryFile()
{
    DeleteFileA(path_.c_str());
}

GuardedBuffer::GuardedBuffer(size_t size) : size_(size)
{
    reserved_ = RoundUpToPages(size == 0 ? 1 : size) + kPageSize;
    base_ = static_cast<BYTE *>(VirtualAlloc(nullptr, reserved_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + reserved_ - kPageSize, kPageSize, PAGE_NOACCESS, &old);
    data_ = base_ + reserved_ - kPageSize - size_;
    std::memset(base_, 0xCD, reserved_ - kPageSize);
}

GuardedBuffer::~GuardedBuffer()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}

const char *GuardedBuffer::PlaceText(const std::string &text)
{
    char *start = reinterpret_cast<char *>(base_ + reserved_ - kPageSize) - (text.size() + 1);
    std::memcpy(start, text.c_str(), text.size() + 1);
    return start;
}
