#include "support/test_files.h"

#include <windows.h>

#include <cstring>

#include "core/owned.h"

std::string ReadWholeFile(const std::string &path, bool *exists)
{
    const HandleGuard file(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (exists != nullptr)
        *exists = file.IsValid();
    std::string bytes;
    if (!file.IsValid())
        return bytes;
    char block[16 * 1024];
    DWORD read = 0;
    while (ReadFile(file.Get(), block, sizeof(block), &read, nullptr) && read != 0)
        bytes.append(block, read);
    return bytes;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    const HandleGuard file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    DWORD written = 0;
    return bytes.empty() || (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                             written == bytes.size());
}

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    for (size_t block = 0; block * 4096 + 4 <= size; ++block) {
        const DWORD number = static_cast<DWORD>(block);
        std::memcpy(&bytes[block * 4096], &number, 4);
    }
    return bytes;
}

SystemDirectoryFile::SystemDirectoryFile(const std::string &tag, size_t size) : bytes_(PatternBytes(size))
{
    static int counter = 0;
    name_ = "qelh7-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".bin";
    char directory[MAX_PATH];
    GetSystemDirectoryA(directory, MAX_PATH);
    path_ = std::string(directory) + "\\" + name_;
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes_.empty())
        WriteFile(file, bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr);
    CloseHandle(file);
}

SystemDirectoryFile::~SystemDirectoryFile()
{
    DeleteFileA(path_.c_str());
}
