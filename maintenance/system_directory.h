// The Windows system directory, where the printer software's components live.
#pragma once

#include <windows.h>

#include <cstddef>

// The directory must fit in 250 bytes; a component name of up to 13 characters is added.
constexpr UINT kSystemDirectoryRoom = 250;
constexpr size_t kComponentPathSize = kSystemDirectoryRoom + 16;

// Reads the system directory into a 250-byte buffer; false when the call fails or the
// path does not fit, in which case nothing in the directory may be touched.
bool ReadSystemDirectory(char (&directory)[kSystemDirectoryRoom]);

// "<directory><separator><name>" into a path buffer.
void FormatComponentPath(char (&path)[kComponentPathSize], const char *directory, const char *separator,
                         const char *name);
