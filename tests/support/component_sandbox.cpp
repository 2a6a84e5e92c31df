#include "component_sandbox.h"

#include <algorithm>
#include <cctype>

#include "service_process.h"

namespace {

constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";

const char *const kComponentStems[] = {"qrmtovs.exe",  "qrmtov.dll", "qrmusb32.dll", "qrmlmpm.dll",
                                       "qrmlmdll.dll", "qrmpps.exe", "korvalis.exe"};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string WininitPath()
{
    char directory[MAX_PATH];
    GetWindowsDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\wininit.ini";
}

// The profile functions keep a process-wide cache of the file; it outlives a file that the
// sandbox deletes or puts back, and would then be taken for the file's content.
void DropWininitCache()
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "wininit.ini");
}

std::string InSystemDirectory(const std::string &name)
{
    return SystemDirectory() + "\\" + name;
}

bool IsSandboxTemporary(const std::string &source)
{
    const std::string lower = Lower(source);
    for (const char *stem : kComponentStems) {
        std::string temporary = "\\" + std::string(stem);
        temporary.replace(temporary.size() - 3, 3, "tmp");
        if (lower.size() >= temporary.size() &&
            lower.compare(lower.size() - temporary.size(), temporary.size(), temporary) == 0)
            return true;
    }
    return false;
}

// REG_MULTI_SZ of source/target pairs, read raw.
std::vector<std::string> ReadPendingStrings()
{
    std::vector<std::string> strings;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return strings;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPendingRenamesValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size != 0) {
        std::string raw(size, '\0');
        if (RegQueryValueExA(key, kPendingRenamesValue, nullptr, nullptr, reinterpret_cast<BYTE *>(&raw[0]), &size) ==
            ERROR_SUCCESS) {
            raw.resize(size);
            size_t start = 0;
            while (start < raw.size()) {
                size_t end = raw.find('\0', start);
                if (end == std::string::npos)
                    end = raw.size();
                strings.push_back(raw.substr(start, end - start));
                start = end + 1;
            }
            // A MULTI_SZ ends with an empty string; an empty target (a delete) is a real entry.
            while (!strings.empty() && strings.back().empty() && strings.size() % 2 != 0)
                strings.pop_back();
        }
    }
    RegCloseKey(key);
    return strings;
}

void WritePendingStrings(const std::vector<std::string> &strings)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    if (strings.empty()) {
        RegDeleteValueA(key, kPendingRenamesValue);
    } else {
        std::string raw;
        for (const std::string &text : strings)
            raw += text + '\0';
        raw += '\0';
        RegSetValueExA(key, kPendingRenamesValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(raw.data()),
                       static_cast<DWORD>(raw.size()));
    }
    RegCloseKey(key);
}

// Drops the renames of the components' temporaries; anyone else's stay.
void RemoveSandboxRenames()
{
    const std::vector<std::string> strings = ReadPendingStrings();
    std::vector<std::string> kept;
    bool removed = false;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (IsSandboxTemporary(strings[i])) {
            removed = true;
            continue;
        }
        kept.push_back(strings[i]);
        kept.push_back(strings[i + 1]);
    }
    if (removed)
        WritePendingStrings(kept);
}

} // namespace

std::string SystemDirectory()
{
    char directory[MAX_PATH];
    UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory, length);
}

std::string FixturePath(const std::string &fixture)
{
    return BinDirectory() + "\\fixtures\\" + fixture;
}

const std::vector<std::string> &ComponentSandbox::FileNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const char *stem : kComponentStems) {
            const std::string base = std::string(stem).substr(0, std::string(stem).size() - 4);
            all.push_back(stem);
            all.push_back(base + ".bak");
            all.push_back(base + ".tmp");
        }
        return all;
    }();
    return names;
}

ComponentSandbox::ComponentSandbox()
{
    for (const std::string &name : FileNames()) {
        bool exists = false;
        std::string bytes = ReadWholeFile(InSystemDirectory(name), &exists);
        if (exists) {
            stashed_[name] = bytes;
            DeleteFileA(InSystemDirectory(name).c_str());
        }
    }
    DropWininitCache();
    wininit_ = ReadWholeFile(WininitPath(), &wininitExisted_);
    RemoveSandboxRenames();
}

ComponentSandbox::~ComponentSandbox()
{
    for (const std::string &name : FileNames())
        DeleteFileA(InSystemDirectory(name).c_str());
    for (const auto &entry : stashed_)
        WriteWholeFile(InSystemDirectory(entry.first), entry.second);
    DropWininitCache();
    if (wininitExisted_)
        WriteWholeFile(WininitPath(), wininit_);
    else
        DeleteFileA(WininitPath().c_str());
    RemoveSandboxRenames();
}

bool ComponentSandbox::Put(const std::string &name, const std::string &fixture) const
{
    return CopyFileA(FixturePath(fixture).c_str(), InSystemDirectory(name).c_str(), FALSE) != FALSE;
}

bool ComponentSandbox::Exists(const std::string &name) const
{
    return GetFileAttributesA(InSystemDirectory(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ComponentSandbox::Content(const std::string &name) const
{
    return ReadWholeFile(InSystemDirectory(name));
}

void ComponentSandbox::Remove(const std::string &name) const
{
    DeleteFileA(InSystemDirectory(name).c_str());
}

bool ComponentSandbox::WininitExists() const
{
    return GetFileAttributesA(WininitPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ComponentSandbox::RenameLines() const
{
    std::vector<std::string> lines;
    const std::string text = ReadWholeFile(WininitPath());
    bool inRename = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '[') {
            inRename = Lower(line) == "[rename]";
            continue;
        }
        if (inRename)
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::pair<std::string, std::string>> ComponentSandbox::PendingRenames() const
{
    std::vector<std::pair<std::string, std::string>> renames;
    const std::vector<std::string> strings = ReadPendingStrings();
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (IsSandboxTemporary(strings[i]))
            renames.emplace_back(strings[i], strings[i + 1]);
    }
    return renames;
}
