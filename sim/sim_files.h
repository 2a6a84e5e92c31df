// File and process-environment helpers for the simulated library.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/owned.h"

namespace qrmtov_sim {

// Closes a file handle when it goes out of scope: the program's one owner type.
using FileHandle = HandleGuard;

// What is cheap to learn about a file and changes whenever it is rewritten.
struct FileStamp {
    ULONGLONG lastWrite = 0;
    ULONGLONG size = 0;
    bool operator==(const FileStamp &other) const { return lastWrite == other.lastWrite && size == other.size; }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

std::optional<FileStamp> ReadFileStamp(const std::string &path);
std::optional<std::string> ReadWholeFile(const std::string &path);
// One WriteFile per call, so lines from several threads or processes never interleave.
bool AppendToFile(const std::string &path, const std::string &bytes);
// Writes beside the target and renames over it, so readers never see half a file.
bool ReplaceFileContent(const std::string &path, const std::string &bytes);

std::optional<std::string> ReadEnvironment(const char *name);
// The folder of this DLL, with a trailing backslash.
std::string ModuleDirectory();

} // namespace qrmtov_sim
