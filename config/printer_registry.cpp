#include "config/printer_registry.h"

#include <cstring>
#include <vector>

#include "core/instance_state.h"
#include "core/owned.h"
#include "qelapp32/client.h"

bool BuildPrinterKeyPath(char *buffer, const char *printerName, const char *suffix)
{
    const size_t prefixLength = std::strlen(QEL_PRINTERS_KEY_PREFIX);
    const size_t nameLength = std::strlen(printerName);
    const size_t suffixLength = std::strlen(suffix);
    if (prefixLength + nameLength + suffixLength >= kNameBufferSize)
        return false;
    std::memcpy(buffer, QEL_PRINTERS_KEY_PREFIX, prefixLength);
    std::memcpy(buffer + prefixLength, printerName, nameLength);
    std::memcpy(buffer + prefixLength + nameLength, suffix, suffixLength + 1);
    return true;
}

namespace {

bool BuildDriverDataPath(char *path, const char *printerName)
{
    return printerName != nullptr && BuildPrinterKeyPath(path, printerName, QEL_DRIVER_DATA_SUFFIX);
}

// Reads open the key without creating it: a start that fails for a mistyped printer name
// must not leave a phantom printer key behind. Only writes create it, as a volatile key.
int QueryValue(const char *printerName, const char *valueName, BYTE *buffer, DWORD *size)
{
    char path[kNameBufferSize];
    RegistryKeyGuard key;
    if (!BuildDriverDataPath(path, printerName) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return 0;
    return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, buffer, size) == ERROR_SUCCESS ? 1 : 0;
}

// The registry leaves a buffer undefined after a read that did not fit; the caller's is
// written only once the read succeeded. size: capacity in, bytes read out.
int QueryValueIntoCopy(const char *printerName, const char *valueName, BYTE *destination, DWORD *size)
{
    std::vector<BYTE> copy(*size + 1); // never empty: a null buffer would only ask for the size
    DWORD read = *size;
    if (!QueryValue(printerName, valueName, copy.data(), &read))
        return 0;
    std::memcpy(destination, copy.data(), read);
    *size = read;
    return 1;
}

int SetValue(const char *printerName, const char *valueName, DWORD type, const BYTE *data, DWORD size)
{
    char path[kNameBufferSize];
    RegistryKeyGuard key;
    if (!BuildDriverDataPath(path, printerName) ||
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return 0;
    return RegSetValueExA(key.Get(), valueName, 0, type, data, size) == ERROR_SUCCESS ? 1 : 0;
}

} // namespace

int GetPrinterRegistryDWORD(const char *printerName, const char *valueName, DWORD *destination)
{
    DWORD size = sizeof(*destination);
    return QueryValueIntoCopy(printerName, valueName, reinterpret_cast<BYTE *>(destination), &size);
}

int GetPrinterRegistryBinary(const char *printerName, const char *valueName, BYTE *buffer, DWORD size)
{
    return QueryValueIntoCopy(printerName, valueName, buffer, &size);
}

int GetPrinterRegistryString(const char *printerName, const char *valueName, char *buffer, DWORD *size)
{
    return QueryValueIntoCopy(printerName, valueName, reinterpret_cast<BYTE *>(buffer), size);
}

int SetPrinterRegistryDWORD(const char *printerName, const char *valueName, DWORD value)
{
    return SetValue(printerName, valueName, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
}

int SetPrinterRegistryBinary(const char *printerName, const char *valueName, const BYTE *data, DWORD size)
{
    return SetValue(printerName, valueName, REG_BINARY, data, size);
}
