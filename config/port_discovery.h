// Port discovery: finds the spooler's port for the printer, classifies it and has the
// library enumerate the printer on it, which hands out the printer handle.
//
//     if (RefreshPrinterPort() != 0)
//         UsePrinter(CurrentPrinterHandle());
#pragma once

#include <windows.h>

// The flags every enumeration passes to the library.
// Any of these outcome bits means the enumeration found the printer.
constexpr DWORD kEnumFoundMask = 0xC36;
// TovEnumByUNC's own result is not used; a network port is judged on hPrinter alone.
constexpr DWORD kEnumByUncOutcome = 0x10;
// Room the redirector is given for the network name.
constexpr DWORD kRedirectorNameLength = 309;

// 1 when the printer was found (hPrinter is valid), 0 otherwise. Runs on the main,
// status or alert thread.
int RefreshPrinterPort();

// Copies the port name as last read (260 bytes, NUL-terminated) without racing a
// concurrent refresh; for threads that hand the name to the library.
void CopyCurrentPortName(char *destination);

// The library's enumeration callback: keeps the last record delivered and mirrors its
// hPrinter and flags. Answers 1 in every case.
BOOL WINAPI EnumPrinterCallback(LPVOID printerInfo);

// The answer of 1124: hPrinter in the high word, bit 0 of the record's flags in the low
// one, both taken from the same record even while another thread enumerates.
DWORD CurrentHandleAndFlagBit();
