#include "maintenance/component_replacement.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "core/owned.h"

#include "maintenance/system_directory.h"

namespace {

struct ReplacementRow {
    const char *backup;
    const char *temporary;
    const char *target;
};

// All seven are replaced together, whichever one failed the check; qrmlmdll.dll is not
// checked but belongs to the same release.
constexpr std::array<ReplacementRow, 7> kReplacementTable = {{
    {"qrmtovs.bak", "qrmtovs.tmp", "qrmtovs.exe"},
    {"qrmtov.bak", "qrmtov.tmp", "qrmtov.dll"},
    {"qrmlmdll.bak", "qrmlmdll.tmp", "qrmlmdll.dll"},
    {"qrmlmpm.bak", "qrmlmpm.tmp", "qrmlmpm.dll"},
    {"qrmusb32.bak", "qrmusb32.tmp", "qrmusb32.dll"},
    {"qrmpps.bak", "qrmpps.tmp", "qrmpps.exe"},
    {"korvalis.bak", "korvalis.tmp", "korvalis.exe"},
}};

constexpr char kRenameSection[] = "Rename";
constexpr char kRenameFile[] = "wininit.ini";
constexpr char kPathSeparator[] = "\\";
constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";

// Whether text is "<prefix><path>" with the path in any case.
bool NamesPath(const char *text, const char *prefix, const char *path)
{
    const size_t prefixLength = std::strlen(prefix);
    return std::strncmp(text, prefix, prefixLength) == 0 && lstrcmpiA(text + prefixLength, path) == 0;
}

// Windows keeps the renames registered for the next restart as pairs of strings:
// "\??\<source>", then "!\??\<target>" for a rename that may replace the target. The
// list comes with room for the terminators a value may lack; empty when there is none.
std::vector<char> ReadPendingRenames(HKEY key)
{
    DWORD size = 0;
    std::vector<char> pending;
    if (RegQueryValueExA(key, kPendingRenamesValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        pending.assign(size + 2, '\0');
        if (RegQueryValueExA(key, kPendingRenamesValue, nullptr, nullptr, reinterpret_cast<BYTE *>(pending.data()),
                             &size) != ERROR_SUCCESS)
            pending.clear();
    }
    return pending;
}

// The offset of the first pair that renames temporary to target, and the offset just past
// it; false when there is none.
bool FindPendingPair(const std::vector<char> &pending, const char *temporary, const char *target, size_t *pairStart,
                     size_t *pairEnd)
{
    const char *const begin = pending.data();
    const char *const end = begin + pending.size();
    for (const char *source = begin; source < end && *source != '\0';) {
        const char *destination = source + std::strlen(source) + 1;
        if (destination >= end)
            break;
        const char *next = destination + std::strlen(destination) + 1;
        if (NamesPath(source, "\\??\\", temporary) &&
            (NamesPath(destination, "!\\??\\", target) || NamesPath(destination, "\\??\\", target))) {
            *pairStart = static_cast<size_t>(source - begin);
            *pairEnd = static_cast<size_t>(next - begin);
            return true;
        }
        source = next;
    }
    return false;
}

bool IsRenamePending(const char *temporary, const char *target)
{
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    size_t start = 0;
    size_t end = 0;
    return FindPendingPair(ReadPendingRenames(key.Get()), temporary, target, &start, &end);
}

// Takes the rename of temporary to target out of the list; other programs' renames stay.
void WithdrawPendingRename(const char *temporary, const char *target)
{
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    std::vector<char> pending = ReadPendingRenames(key.Get());
    size_t start = 0;
    size_t end = 0;
    if (!FindPendingPair(pending, temporary, target, &start, &end))
        return;
    do {
        pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(start),
                      pending.begin() + static_cast<std::ptrdiff_t>(end));
    } while (FindPendingPair(pending, temporary, target, &start, &end));
    size_t used = 0;
    while (used < pending.size() && pending[used] != '\0')
        used += std::strlen(pending.data() + used) + 1;
    if (used == 0) {
        RegDeleteValueA(key.Get(), kPendingRenamesValue);
        return;
    }
    RegSetValueExA(key.Get(), kPendingRenamesValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(pending.data()),
                   static_cast<DWORD>(used + 1));
}

// An earlier run may have scheduled this component; without a fresh copy its old
// temporary file must not replace the component at restart. An entry that names another
// file is not this system's and stays.
void WithdrawReplacement(const char *temporary, const char *target)
{
    char scheduled[kComponentPathSize] = {};
    GetPrivateProfileStringA(kRenameSection, target, "", scheduled, sizeof(scheduled), kRenameFile);
    if (lstrcmpiA(scheduled, temporary) == 0)
        WritePrivateProfileStringA(kRenameSection, target, nullptr, kRenameFile);
    WithdrawPendingRename(temporary, target);
}

} // namespace

void ScheduleComponentReplacement()
{
    char directory[kSystemDirectoryRoom];
    if (!ReadSystemDirectory(directory, kSystemDirectoryRoom))
        return;
    for (const ReplacementRow &row : kReplacementTable) {
        char backup[kComponentPathSize];
        char temporary[kComponentPathSize];
        char target[kComponentPathSize];
        FormatComponentPath(backup, directory, kPathSeparator, row.backup);
        FormatComponentPath(temporary, directory, kPathSeparator, row.temporary);
        FormatComponentPath(target, directory, kPathSeparator, row.target);
        // The copy exists before the entry that names it. Without a fresh copy, a stale
        // temporary file of an earlier run could replace the component at restart. Most
        // installations lack one backup or another: only one that is there and will not
        // copy is worth a line.
        if (!CopyFileA(backup, temporary, FALSE)) {
            const DWORD error = GetLastError();
            if (GetFileAttributesA(backup) != INVALID_FILE_ATTRIBUTES)
                LogError("ScheduleComponentReplacement: CopyFile(%s, %s) failed (%Xh)\n", backup, temporary, error);
            WithdrawReplacement(temporary, target);
            continue;
        }
        WritePrivateProfileStringA(kRenameSection, target, temporary, kRenameFile);
        // Windows NT carries out only the renames registered this way; without it the
        // component would stay outdated and every start would ask for a restart again.
        // Without the right to register it, wininit.ini is all there is. Each start that
        // finds the component outdated comes here: a pair already registered is not added again.
        if (!IsRenamePending(temporary, target))
            MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}
