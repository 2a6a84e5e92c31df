// The diagnostic log: one "QELAPP32: " line per failure on the debugger output,
// and a silent trace channel whose calls stay in place but produce nothing.
//
// The log texts are a byte-exact contract: support tools and people's scripts match them
// to the letter. Their odd spots (a doubled blank, a message named after another, a value
// logged under another value's name) are deliberate and marked "log contract" where they
// stand; keep them as they are.
#pragma once

#include <windows.h>

constexpr int kLogLineSize = 1024;
constexpr char kLogPrefix[] = "QELAPP32: ";

void LogError(const char *format, ...);

// The trace channel is silent by design: a build for a developer's desk once wrote these
// lines, the service does not. The calls stay where the traces belong.
inline void Trace(const char *, ...) {}
inline void TraceLine(DWORD, const char *) {}
inline void TraceDump(const void *, DWORD) {}
