// The printer's registry values as a client sees them: the instance's published
// values under PrinterDriverData, the printer's "Port", and the store mailbox.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

std::optional<DWORD> ReadDriverDword(const std::string &printer, const char *value);
std::optional<std::string> ReadDriverBytes(const std::string &printer, const char *value);
std::optional<std::string> ReadPrinterString(const std::string &printer, const char *value);

// Writes fail (false) when the PrinterDriverData key does not exist: only a running
// instance creates it, and the mailbox is of no use without one.
bool WriteDriverString(const std::string &printer, const char *value, const std::string &text);
bool WriteDriverDword(const std::string &printer, const char *value, DWORD data);
bool WriteDriverBinary(const std::string &printer, const char *value, const std::string &bytes);
void DeleteDriverValue(const std::string &printer, const char *value);

std::string PrinterKeyPath(const std::string &printer);
std::string DriverDataKeyPath(const std::string &printer);
bool PrinterKeyExists(const std::string &printer);
bool DriverDataKeyExists(const std::string &printer);

// Every printer under the printers key, in the order people sort names. An empty list
// when the key itself does not exist.
std::vector<std::string> ListPrinterNames();
