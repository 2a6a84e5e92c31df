// The printer's registry values as a client sees them: the instance's published
// values under PrinterDriverData and the printer's "Port"; the client library keeps the
// store mailbox.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

std::optional<DWORD> ReadDriverDword(const std::string &printer, const char *value);
std::optional<std::string> ReadPrinterString(const std::string &printer, const char *value);

std::string PrinterKeyPath(const std::string &printer);
std::string DriverDataKeyPath(const std::string &printer);
bool PrinterKeyExists(const std::string &printer);
bool DriverDataKeyExists(const std::string &printer);

// Every printer under the printers key, in the order people sort names. An empty list
// when the key itself does not exist.
std::vector<std::string> ListPrinterNames();
