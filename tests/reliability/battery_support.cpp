#include "battery_support.h"

#include <cstring>

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
