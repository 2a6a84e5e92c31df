// Whole files and test data, the same way for every test program.
//
//     EXPECT_EQ(PatternBytes(10000), ReadWholeFile(capturePath));
#pragma once

#include <string>

// The whole file, or "" when it cannot be opened (exists then says false). Opened for
// sharing, so a file another process holds open can still be read.
std::string ReadWholeFile(const std::string &path, bool *exists = nullptr);

// Creates or replaces the file with exactly these bytes; false when that fails.
bool WriteWholeFile(const std::string &path, const std::string &bytes);

// Bytes that tell every position apart within a few blocks, with the block number at the
// head of every 4096-byte block, so a skipped or repeated block is visible.
std::string PatternBytes(size_t size);
