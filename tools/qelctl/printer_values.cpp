#include "printer_values.h"

#include <algorithm>
#include <cstring>

#include "core/owned.h"
#include "qelapp32/client.h"

namespace {

bool KeyExists(const std::string &path)
{
    RegistryKeyGuard key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
}

std::optional<std::string> ReadValue(const std::string &keyPath, const char *value)
{
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), value, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE *>(&data[0]), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

} // namespace

std::string PrinterKeyPath(const std::string &printer)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + printer;
}

bool PrinterKeyExists(const std::string &printer)
{
    return KeyExists(PrinterKeyPath(printer));
}

bool DriverDataKeyExists(const std::string &printer)
{
    return KeyExists(DriverDataKeyPath(printer));
}

std::vector<std::string> ListPrinterNames()
{
    std::vector<std::string> names;
    std::string prefix = QEL_PRINTERS_KEY_PREFIX;
    prefix.pop_back(); // the key itself, without the trailing separator
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, prefix.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.Receive()) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof(name);
        const LONG result = RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    return names;
}

std::string DriverDataKeyPath(const std::string &printer)
{
    return PrinterKeyPath(printer) + QEL_DRIVER_DATA_SUFFIX;
}

std::optional<DWORD> ReadDriverDword(const std::string &printer, const char *value)
{
    const std::optional<std::string> bytes = ReadValue(DriverDataKeyPath(printer), value);
    if (!bytes || bytes->size() != sizeof(DWORD))
        return std::nullopt;
    DWORD data = 0;
    std::memcpy(&data, bytes->data(), sizeof(data));
    return data;
}

std::optional<std::string> ReadPrinterString(const std::string &printer, const char *value)
{
    std::optional<std::string> text = ReadValue(PrinterKeyPath(printer), value);
    if (text) {
        const size_t end = text->find('\0');
        if (end != std::string::npos)
            text->resize(end);
    }
    return text;
}
