// Whole files and test data, the same way for every test program.
//
//     EXPECT_EQ(PatternBytes(10000), ReadWholeFile(capturePath));
#pragma once

#include <cstddef>
#include <string>

// The whole file, or "" when it cannot be opened (exists then says false). Opened for
// sharing, so a file another process holds open can still be read.
std::string ReadWholeFile(const std::string &path, bool *exists = nullptr);

// Creates or replaces the file with exactly these bytes; false when that fails.
bool WriteWholeFile(const std::string &path, const std::string &bytes);

// Bytes that tell every position apart within a few blocks, with the block number at the
// head of every 4096-byte block, so a skipped or repeated block is visible.
std::string PatternBytes(size_t size);

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
