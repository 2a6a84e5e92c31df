// The printer's registry store: values under the printer's PrinterDriverData key.
// Each accessor opens the key (a write creates it, volatile), does one read or one write,
// closes it and answers 1 on success, 0 otherwise. None of them logs.
#pragma once

#include <windows.h>

// "System\CurrentControlSet\control\Print\Printers\" + printer name (+ suffix) into a
// 260-byte buffer; false, with nothing written past the buffer, when it does not fit.
bool BuildPrinterKeyPath(char *buffer, const char *printerName, const char *suffix);

int GetPrinterRegistryDWORD(const char *printerName, const char *valueName, DWORD *destination);
int GetPrinterRegistryBinary(const char *printerName, const char *valueName, BYTE *buffer, DWORD size);
int GetPrinterRegistryString(const char *printerName, const char *valueName, char *buffer, DWORD *size);
int SetPrinterRegistryDWORD(const char *printerName, const char *valueName, DWORD value);
int SetPrinterRegistryBinary(const char *printerName, const char *valueName, const BYTE *data, DWORD size);
