// Helpers shared by the battery's tests: files in the system directory, memory with a
// chosen protection inside the service's process, and in-process buffers that end at a
// page no one may touch.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "core/remote_memory.h"
#include "support/guarded_pages.h"
#include "support/test_files.h"

// A file in the system directory as a 32-bit process sees it, which is where the file
// sender looks; removed again at the end.
class SystemDirectoryFile {
public:
    SystemDirectoryFile(const std::string &tag, size_t size);
    ~SystemDirectoryFile();
    SystemDirectoryFile(const SystemDirectoryFile &) = delete;
    SystemDirectoryFile &operator=(const SystemDirectoryFile &) = delete;

    const std::string &Name() const { return name_; }
    const std::string &Bytes() const { return bytes_; }

private:
    std::string name_;
    std::string path_;
    std::string bytes_;
};
