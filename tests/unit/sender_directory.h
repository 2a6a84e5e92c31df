// A temporary folder that the file sender takes for the system directory, through the
// platform recorder's seam; removed again with its files.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform_recorder.h"
#include "support/test_files.h"

class SenderDirectory {
public:
    explicit SenderDirectory(PlatformRecorder &platform)
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int counter = 0;
        path_ = std::string(temp) + "qelsend" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        CreateDirectoryA(path_.c_str(), nullptr);
        const std::string directory = path_;
        platform.systemDirectory = [directory](LPSTR buffer, UINT size) -> UINT {
            if (directory.size() + 1 > size)
                return static_cast<UINT>(directory.size() + 1);
            std::memcpy(buffer, directory.c_str(), directory.size() + 1);
            return static_cast<UINT>(directory.size());
        };
    }

    ~SenderDirectory()
    {
        for (const std::string &name : files_)
            DeleteFileA((path_ + "\\" + name).c_str());
        RemoveDirectoryA(path_.c_str());
    }

    SenderDirectory(const SenderDirectory &) = delete;
    SenderDirectory &operator=(const SenderDirectory &) = delete;

    const std::string &Path() const { return path_; }

    void Put(const std::string &name, const std::string &bytes)
    {
        HANDLE file = CreateFileA((path_ + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        files_.push_back(name);
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};
