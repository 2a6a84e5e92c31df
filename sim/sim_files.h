// File and process-environment helpers for the simulated library.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qrmtov_sim {

// Closes a file handle when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// What is cheap to learn about a file and changes whenever it is rewritten.
struct FileStamp {
    ULONGLONG lastWrite = 0;
    ULONGLONG size = 0;
    bool operator==(const FileStamp& other) const { return lastWrite == other.lastWrite && size == other.size; }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

std::optional<FileStamp> ReadFileStamp(const std::string& path);
std::optional<std::string> ReadWholeFile(const std::string& path);
// One WriteFile per call, so lines from several threads or processes never interleave.
bool AppendToFile(const std::string& path, const std::string& bytes);
// Writes beside the target and renames over it, so readers never see half a file.
bool ReplaceFileContent(const std::string& path, const std::string& bytes);

std::optional<std::string> ReadEnvironment(const char* name);
// The folder of this DLL, with a trailing backslash.
std::string ModuleDirectory();

}  // namespace qrmtov_sim
