#include "maintenance/component_check.h"

#include <windows.h>

#include <array>

#include "core/log.h"
#include "core/owned.h"
#include "maintenance/component_replacement.h"
#include "maintenance/component_table.h"
#include "maintenance/system_directory.h"

namespace {

// Only a component that is known not to exist is restored; any other failure to open
// it counts as present.
bool IsComponentMissing(const char *path)
{
    OFSTRUCT openInfo{};
    return OpenFile(path, &openInfo, OF_EXIST) == HFILE_ERROR && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// A component whose version cannot be read is given the benefit of the doubt, as one
// without version information is: the check is there to catch old releases, not to
// stop printing on an unreadable file.
bool IsComponentRecentEnough(const char *path, const ComponentRow &row)
{
    Trace("Checking version of %s\n", path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return true;
    const LocalBlock block(LocalAlloc(LMEM_ZEROINIT, size));
    if (!block.IsValid())
        return true;
    if (!GetFileVersionInfoA(path, 0, size, block.Get()))
        return true;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueA(block.Get(), "\\", reinterpret_cast<void **>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return true;

    const WORD major = HIWORD(info->dwFileVersionMS);
    const WORD minor = LOWORD(info->dwFileVersionMS);
    Trace("FileVersion %d.%d.%d.%d. Required version %d.%d.%d.%d.\n", major, minor, HIWORD(info->dwFileVersionLS),
          LOWORD(info->dwFileVersionLS), row.requiredMajor, row.requiredMinor, 0, 0);
    // The build and revision parts never decide.
    return major > row.requiredMajor || (major == row.requiredMajor && minor >= row.requiredMinor);
}

} // namespace

int CheckComponents()
{
    char directory[kSystemDirectoryRoom];
    if (!ReadSystemDirectory(directory, kSystemDirectoryRoom))
        return 0;
    for (const ComponentRow &row : kComponentTable) {
        char component[kComponentPathSize];
        char backup[kComponentPathSize];
        FormatComponentPath(component, directory, "", row.component);
        FormatComponentPath(backup, directory, "", row.backup);
        if (IsComponentMissing(component)) {
            Trace("File %s does not exist.  Copying back up file\n", component);
            // The restored copy is trusted as it is: it is not version-checked.
            CopyFileA(backup, component, FALSE);
            continue;
        }
        if (row.versioned && !IsComponentRecentEnough(component, row)) {
            ScheduleComponentReplacement();
            return 0;
        }
    }
    return 1;
}
