#include "sim/sim_files.h"

#include <vector>

namespace qrmtov_sim {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kReplaceAttempts = 20;

ULONGLONG CombineHalves(DWORD high, DWORD low)
{
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

bool WriteAll(HANDLE file, const std::string &bytes)
{
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(bytes.size());
    if (size == 0)
        return true;
    return WriteFile(file, bytes.data(), size, &written, nullptr) && written == size;
}

bool WriteNewFile(const std::string &path, const std::string &bytes)
{
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid() && WriteAll(file.Get(), bytes);
}

// A reader holding the target open may briefly block the rename on Windows.
bool MoveOverWithRetry(const std::string &from, const std::string &to)
{
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        Sleep(5);
    }
    return false;
}

} // namespace

std::optional<FileStamp> ReadFileStamp(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    FileStamp stamp;
    stamp.lastWrite = CombineHalves(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamp.size = CombineHalves(data.nFileSizeHigh, data.nFileSizeLow);
    return stamp;
}

std::optional<std::string> ReadWholeFile(const std::string &path)
{
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return std::nullopt;
    std::string content;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr))
            return std::nullopt;
        if (read == 0)
            return content;
        content.append(chunk.data(), read);
    }
}

bool AppendToFile(const std::string &path, const std::string &bytes)
{
    FileHandle file(
        CreateFileA(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid() && WriteAll(file.Get(), bytes);
}

bool ReplaceFileContent(const std::string &path, const std::string &bytes)
{
    const std::string staging =
        path + ".new-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetCurrentThreadId());
    if (!WriteNewFile(staging, bytes))
        return false;
    if (MoveOverWithRetry(staging, path))
        return true;
    DeleteFileA(staging.c_str());
    return false;
}

std::optional<std::string> ReadEnvironment(const char *name)
{
    std::vector<char> value(MAX_PATH);
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            return std::nullopt;
        if (length < value.size())
            return std::string(value.data(), length);
        value.resize(length + 1);
    }
}

std::string ModuleDirectory()
{
    HMODULE self = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&ModuleDirectory), &self))
        return std::string();
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            const std::string full(path.data(), length);
            const size_t slash = full.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
        }
        path.resize(path.size() * 2);
    }
}

} // namespace qrmtov_sim
