#include "maintenance/system_directory.h"

#include <cstdio>

#include "core/platform.h"

bool ReadSystemDirectory(char (&directory)[kSystemDirectoryRoom])
{
    const UINT length = g_platform.GetSystemDirectoryA(directory, kSystemDirectoryRoom);
    if (length == 0 || length >= kSystemDirectoryRoom)
        return false;
    directory[length] = '\0';
    return true;
}

void FormatComponentPath(char (&path)[kComponentPathSize], const char *directory, const char *separator,
                         const char *name)
{
    std::snprintf(path, kComponentPathSize, "%s%s%s", directory, separator, name);
}
