#include "support/sim_control.h"
#include "core/owned.h"
#include "support/test_files.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace {

constexpr char kSection[] = "sim";
constexpr char kGenerationKey[] = "generation";
constexpr char kConfigName[] = "sim.ini";
constexpr char kStagingName[] = "sim-staging.ini";
constexpr char kPublishName[] = "sim-publish.tmp";
constexpr char kLogName[] = "calls.log";
constexpr char kCaptureName[] = "capture.bin";
constexpr char kStoreName[] = "store.ini";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kPollStepMs = 10;
// 1 ms in FILETIME units: enough for the library to notice two rewrites in one clock tick.
constexpr ULONGLONG kStampStep = 10000;
constexpr int kMoveAttempts = 50;

struct EnvironmentSetting {
    const char *name;
    const char *fileName;
    bool isRecord; // left out after DropRecords()
};

constexpr EnvironmentSetting kEnvironmentSettings[] = {
    {"QRMTOV_SIM_CONFIG", kConfigName, false},
    {"QRMTOV_SIM_LOG", kLogName, true},
    {"QRMTOV_SIM_CAPTURE", kCaptureName, true},
    {"QRMTOV_SIM_STORE", kStoreName, false},
};

using FileHandle = HandleGuard;

struct EnvironmentStringsPolicy {
    using Value = LPCH;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value block) { return block != nullptr; }
    static void Close(Value block) { FreeEnvironmentStringsA(block); }
};
using EnvironmentStrings = Owned<EnvironmentStringsPolicy>;

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string UpperAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void CreateEmptyFile(const std::string &path)
{
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string MakeUniqueDirectory()
{
    static std::atomic<unsigned> counter{0};
    char tempPath[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, tempPath);
    for (;;) {
        const std::string candidate = std::string(tempPath) + "qelsim-" + std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(++counter) + "-" + std::to_string(GetTickCount());
        if (CreateDirectoryA(candidate.c_str(), nullptr))
            return candidate + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string(tempPath);
    }
}

void RemoveDirectoryTree(const std::string &directory)
{
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryTree(directory + name + "\\");
            } else {
                DeleteFileA((directory + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

ULONGLONG ToStamp(const FILETIME &time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(ULONGLONG stamp)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(stamp & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
    return time;
}

// Rewrites within one clock tick would keep the same time; the library would miss them.
ULONGLONG StampLaterThan(const std::string &path, ULONGLONG previous)
{
    FileHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return previous;
    FILETIME written{};
    GetFileTime(file.Get(), nullptr, nullptr, &written);
    ULONGLONG stamp = ToStamp(written);
    if (stamp <= previous) {
        stamp = previous + kStampStep;
        const FILETIME later = ToFileTime(stamp);
        SetFileTime(file.Get(), nullptr, nullptr, &later);
    }
    return stamp;
}

// The library may be reading the target at this moment; the rename then waits for it.
bool MoveOver(const std::string &from, const std::string &to)
{
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        Sleep(2);
    }
    return false;
}

std::vector<std::string> SplitOn(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t next = text.find(separator, start);
        if (next == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, next - start));
        start = next + 1;
    }
}

SimCall ParseCallLine(const std::string &line)
{
    std::vector<std::string> fields = SplitOn(line, '\t');
    SimCall call;
    call.name = fields.front();
    call.args.assign(fields.begin() + 1, fields.end());
    return call;
}

std::string EnvironmentName(const std::string &entry)
{
    // Entries such as "=C:=C:\dir" keep their leading '=' as part of the name.
    const size_t equals = entry.find('=', 1);
    return entry.substr(0, equals);
}

bool IsOwnVariable(const std::string &entry)
{
    const std::string name = UpperAscii(EnvironmentName(entry));
    for (const EnvironmentSetting &setting : kEnvironmentSettings) {
        if (name == setting.name)
            return true;
    }
    return false;
}

std::vector<std::string> ReadEnvironmentEntries()
{
    std::vector<std::string> entries;
    const EnvironmentStrings strings(GetEnvironmentStringsA());
    for (const char *entry = strings.Get(); entry != nullptr && *entry != '\0'; entry += strlen(entry) + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

} // namespace

std::string FormatCall(const SimCall &call)
{
    std::string text = call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (i != 0)
            text += ", ";
        text += call.args[i];
    }
    return text + ")";
}

std::string ToHex(const void *data, size_t size)
{
    constexpr char kDigits[] = "0123456789abcdef";
    const auto *bytes = static_cast<const unsigned char *>(data);
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string FromHex(const std::string &hex)
{
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        const int value = HexDigitValue(c);
        if (value < 0)
            break;
        if (high < 0) {
            high = value;
        } else {
            bytes += static_cast<char>(high * 16 + value);
            high = -1;
        }
    }
    return bytes;
}

SimPrinter::SimPrinter() : directory_(MakeUniqueDirectory())
{
    CreateEmptyFile(LogPath());
    CreateEmptyFile(CapturePath());
    CreateEmptyFile(StorePath());
    WriteSetting(kGenerationKey, "0");
}

SimPrinter::~SimPrinter()
{
    RemoveDirectoryTree(directory_);
}

void SimPrinter::Set(const std::string &key, const std::string &value)
{
    WriteSetting(key, value.c_str());
}

void SimPrinter::Clear(const std::string &key)
{
    WriteSetting(key, nullptr);
}

// Edits a private copy and renames it into place, so the library never reads a
// half-written file, and bumps a counter so that every version differs on disk.
void SimPrinter::WriteSetting(const std::string &key, const char *value)
{
    const std::string staging = directory_ + kStagingName;
    WritePrivateProfileStringA(kSection, key.c_str(), value, staging.c_str());
    const std::string generation = std::to_string(++generation_);
    WritePrivateProfileStringA(kSection, kGenerationKey, generation.c_str(), staging.c_str());
    PublishSettings();
}

void SimPrinter::PublishSettings()
{
    const std::string publishing = directory_ + kPublishName;
    if (!CopyFileA((directory_ + kStagingName).c_str(), publishing.c_str(), FALSE))
        return;
    lastPublished_ = StampLaterThan(publishing, lastPublished_);
    MoveOver(publishing, ConfigPath());
}

std::vector<SimCall> SimPrinter::Calls() const
{
    const std::string log = ReadWholeFile(LogPath());
    std::vector<SimCall> calls;
    size_t start = 0;
    // A line still being written has no newline yet; it is read next time.
    for (size_t end = log.find('\n'); end != std::string::npos; end = log.find('\n', start)) {
        calls.push_back(ParseCallLine(log.substr(start, end - start)));
        start = end + 1;
    }
    return calls;
}

std::vector<SimCall> SimPrinter::CallsNamed(const std::string &name) const
{
    std::vector<SimCall> calls = Calls();
    calls.erase(std::remove_if(calls.begin(), calls.end(), [&](const SimCall &call) { return call.name != name; }),
                calls.end());
    return calls;
}

std::vector<std::string> SimPrinter::CallNames() const
{
    std::vector<std::string> names;
    for (const SimCall &call : Calls())
        names.push_back(call.name);
    return names;
}

std::string SimPrinter::CaptureBytes() const
{
    return ReadWholeFile(CapturePath());
}

void SimPrinter::ResetCalls()
{
    FileHandle file(
        CreateFileA(LogPath().c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.IsValid())
        SetEndOfFile(file.Get());
}

std::string SimPrinter::ConfigPath() const
{
    return directory_ + kConfigName;
}

std::string SimPrinter::LogPath() const
{
    return directory_ + kLogName;
}

std::string SimPrinter::CapturePath() const
{
    return directory_ + kCaptureName;
}

std::string SimPrinter::StorePath() const
{
    return directory_ + kStoreName;
}

std::vector<char> SimPrinter::EnvironmentBlock() const
{
    std::vector<std::string> entries = ReadEnvironmentEntries();
    entries.erase(std::remove_if(entries.begin(), entries.end(), IsOwnVariable), entries.end());
    for (const EnvironmentSetting &setting : kEnvironmentSettings) {
        if (keepsRecords_ || !setting.isRecord)
            entries.push_back(std::string(setting.name) + "=" + directory_ + setting.fileName);
    }
    // CreateProcess expects the block sorted by name without regard to case.
    std::stable_sort(entries.begin(), entries.end(), [](const std::string &a, const std::string &b) {
        return UpperAscii(EnvironmentName(a)) < UpperAscii(EnvironmentName(b));
    });
    std::vector<char> block;
    for (const std::string &entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

void SimPrinter::ApplyToThisProcess() const
{
    for (const EnvironmentSetting &setting : kEnvironmentSettings) {
        const std::string path = directory_ + setting.fileName;
        SetEnvironmentVariableA(setting.name, keepsRecords_ || !setting.isRecord ? path.c_str() : nullptr);
    }
}

bool WaitForCall(const SimPrinter &sim, const std::string &name, size_t count, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (sim.CallsNamed(name).size() >= count)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollStepMs);
    }
}
