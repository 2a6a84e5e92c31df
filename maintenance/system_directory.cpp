#include "maintenance/system_directory.h"

#include <cstdio>

#include "core/platform.h"

void FormatComponentPath(char (&path)[kComponentPathSize], const char *directory, const char *separator,
                         const char *name)
{
    std::snprintf(path, kComponentPathSize, "%s%s%s", directory, separator, name);
}
