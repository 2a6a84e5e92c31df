// The Windows system directory, where the printer software's components live.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/platform.h"

// The directory must fit in 250 bytes; a component name of up to 13 characters is added.
constexpr size_t kComponentPathSize = kSystemDirectoryRoom + 16;

// "<directory><separator><name>" into a path buffer.
void FormatComponentPath(char (&path)[kComponentPathSize], const char *directory, const char *separator,
                         const char *name);
