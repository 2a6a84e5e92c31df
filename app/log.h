// The diagnostic log: one "QELAPP32: " line per failure on the debugger output,
// and a silent trace channel whose calls stay in place but produce nothing.
#pragma once

#include <windows.h>

constexpr int kLogLineSize = 1024;
constexpr char kLogPrefix[] = "QELAPP32: ";

void LogError(const char *format, ...);
void Trace(const char *format, ...);
void TraceLine(DWORD flag, const char *text);
void TraceDump(const void *data, DWORD length);
