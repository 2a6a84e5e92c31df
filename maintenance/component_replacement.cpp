#include "maintenance/component_replacement.h"

#include <windows.h>

#include <array>
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
// "\??\<source>", then "!\??\<target>" for a rename that may replace the target.
bool IsRenamePending(const char *temporary, const char *target)
{
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    std::vector<char> pending;
    if (RegQueryValueExA(key.Get(), kPendingRenamesValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        pending.assign(size + 2, '\0'); // room for the terminators a value may lack
        if (RegQueryValueExA(key.Get(), kPendingRenamesValue, nullptr, nullptr,
                             reinterpret_cast<BYTE *>(pending.data()), &size) != ERROR_SUCCESS)
            pending.clear();
    }
    const char *end = pending.data() + pending.size();
    for (const char *source = pending.data(); source < end && *source != '\0';) {
        const char *destination = source + std::strlen(source) + 1;
        if (destination >= end)
            break;
        if (NamesPath(source, "\\??\\", temporary) &&
            (NamesPath(destination, "!\\??\\", target) || NamesPath(destination, "\\??\\", target)))
            return true;
        source = destination + std::strlen(destination) + 1;
    }
    return false;
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
        // The copy exists before the entry that names it. Without a fresh copy, a stale
        // temporary file of an earlier run could replace the component at restart.
        if (!CopyFileA(backup, temporary, FALSE)) {
            LogError("ScheduleComponentReplacement: CopyFile(%s, %s) failed (%lu)\n", backup, temporary,
                     GetLastError());
            continue;
        }
        FormatComponentPath(target, directory, kPathSeparator, row.target);
        WritePrivateProfileStringA(kRenameSection, target, temporary, kRenameFile);
        // Windows NT carries out only the renames registered this way; without it the
        // component would stay outdated and every start would ask for a restart again.
        // Without the right to register it, wininit.ini is all there is. Each start that
        // finds the component outdated comes here: a pair already registered is not added again.
        if (!IsRenamePending(temporary, target))
            MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}
