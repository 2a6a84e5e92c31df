// Names made from the printer name: the window title and the named events.
#pragma once

#include <cstddef>

// The longest printer name every derived name has room for; the registry key path
// (prefix, name, "\PrinterDriverData", NUL in 260 bytes) is the tightest bound.
constexpr size_t kMaxPrinterNameLength = 193;

bool IsPrinterNameUsable(const char *printerName);

// Formats "<prefix>%s" or "%s<suffix>" with the printer name into a 260-byte buffer;
// the name is cut at 259 characters and nothing is written past the buffer.
void FormatInstanceName(char *buffer, const char *format, const char *printerName);

// "VODUVI32 " followed by the printer name.
void BuildWindowTitle(char *buffer, const char *printerName);
