// Helpers shared by the battery's tests: files in the system directory, memory with a
// chosen protection inside the service's process, and in-process buffers that end at a
// page no one may touch.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "core/remote_memory.h"

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

// Bytes that tell every position apart, and a sequence number in each block of 4096.
std::string PatternBytes(size_t size);


// size bytes in this process that end exactly where a PAGE_NOACCESS page begins: a write
// or read one byte past them is an access violation, not silent damage.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    BYTE *Data() const { return data_; }
    char *Text() const { return reinterpret_cast<char *>(data_); }
    size_t Size() const { return size_; }
    // Copies text and its terminator so that the terminator is the last byte before the guard.
    const char *PlaceText(const std::string &text);

private:
    BYTE *base_;
    BYTE *data_;
    size_t size_;
    size_t reserved_;
};
