#include "maintenance/component_replacement.h"

#include <windows.h>

#include <array>

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

} // namespace

void ScheduleComponentReplacement()
{
    char directory[kSystemDirectoryRoom];
    if (!ReadSystemDirectory(directory))
        return;
    for (const ReplacementRow &row : kReplacementTable) {
        char backup[kComponentPathSize];
        char temporary[kComponentPathSize];
        char target[kComponentPathSize];
        FormatComponentPath(backup, directory, kPathSeparator, row.backup);
        FormatComponentPath(temporary, directory, kPathSeparator, row.temporary);
        // The copy exists before the entry that names it.
        CopyFileA(backup, temporary, FALSE);
        FormatComponentPath(target, directory, kPathSeparator, row.target);
        WritePrivateProfileStringA(kRenameSection, target, temporary, kRenameFile);
        // Windows NT carries out only the renames registered this way; without it the
        // component would stay outdated and every start would ask for a restart again.
        // Without the right to register it, wininit.ini is all there is.
        MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    }
}
