// The instance as the client library finds it, the printer's registry values as a
// client sees them, and the service program qelctl starts and examines.
#include <windows.h>
#include <winnetwk.h>

#include <algorithm>
#include <cstring>

#include "core/owned.h"
#include "qelctl.h"

namespace {

std::string FullPath(const std::string &path)
{
    char full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    return length == 0 || length >= sizeof(full) ? path : std::string(full, length);
}

// Beside qelctl.exe; the 64-bit qelctl sits in bin64\, beside the bin\ of the 32-bit service.
std::string DefaultServicePath()
{
    char path[MAX_PATH];
    const std::string own(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    const std::string directory = own.substr(0, own.find_last_of("\\/"));
    const std::string beside = directory + "\\" + kServiceProgramName;
    const std::string sibling = FullPath(directory + "\\..\\bin\\" + kServiceProgramName);
    return IsFile(beside) || !IsFile(sibling) ? beside : sibling;
}

} // namespace

std::optional<std::string> ReadRegistryValue(const std::string &keyPath, const char *value)
{
    RegistryKeyGuard key;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), value, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key.Get(), value, nullptr, nullptr, reinterpret_cast<BYTE *>(&data[0]), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return data;
}

bool IsFile(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Instance::Instance(const std::string &printer, HWND window) : client_()
{
    lstrcpynA(client_.printerName, printer.c_str(), sizeof(client_.printerName));
    client_.window = window;
    GetWindowThreadProcessId(window, &client_.processId);
}

Instance::Instance(const std::string &printer) : client_()
{
    std::string error;
    if (!Locate(printer, &error)) {
        QelCloseInstance(&client_);
        Fail(kExitNoInstance, error);
    }
}

bool Instance::Locate(const std::string &printer, std::string *error)
{
    // A process that cannot be opened still answers the messages without buffers; those
    // with buffers report it themselves.
    const QelResult opened = QelOpenInstance(printer.c_str(), &client_);
    if (opened == QEL_OK || (opened == QEL_SYSTEM && client_.window != nullptr))
        return true;
    const Publication state = ReadPublishedWindow(printer).state;
    *error = "no instance serves printer \"" + printer + "\" (" +
             (state == Publication::Missing ? QEL_VALUE_HWND " is not published)"
              : state == Publication::Zero  ? QEL_VALUE_HWND " is 0)"
                                            : "the published window no longer exists)");
    return false;
}

PublishedWindow ReadPublishedWindow(const std::string &printer)
{
    PublishedWindow published;
    if (!QelReadPublishedWindow(printer.c_str(), &published.value))
        return published;
    const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(published.value));
    if (published.value == 0)
        published.state = Publication::Zero;
    else if (!QelIsInstanceWindow(window, printer.c_str()))
        published.state = Publication::Stale;
    else
        published = {Publication::Window, published.value, window};
    return published;
}

HWND FindServingWindow(const std::string &printer)
{
    const PublishedWindow published = ReadPublishedWindow(printer);
    if (published.state == Publication::Window)
        return published.window;
    return FindWindowA(QEL_MAIN_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printer).c_str());
}

std::string PrinterKeyPath(const std::string &printer)
{
    return QEL_PRINTERS_KEY_PREFIX + printer;
}

std::string DriverDataKeyPath(const std::string &printer)
{
    return PrinterKeyPath(printer) + QEL_DRIVER_DATA_SUFFIX;
}

bool KeyExists(const std::string &path)
{
    RegistryKeyGuard key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
}

std::optional<DWORD> ReadDriverDword(const std::string &printer, const char *value)
{
    const std::optional<std::string> bytes = ReadRegistryValue(DriverDataKeyPath(printer), value);
    DWORD data = 0;
    if (!bytes || bytes->size() != sizeof(DWORD))
        return std::nullopt;
    std::memcpy(&data, bytes->data(), sizeof(data));
    return data;
}

std::optional<std::string> ReadPrinterString(const std::string &printer, const char *value)
{
    std::optional<std::string> text = ReadRegistryValue(PrinterKeyPath(printer), value);
    if (text)
        text->resize(std::min(text->size(), text->find('\0')));
    return text;
}

std::vector<std::string> ListPrinterNames()
{
    std::vector<std::string> names;
    std::string path = QEL_PRINTERS_KEY_PREFIX;
    path.pop_back(); // the key itself, without the trailing separator
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.Receive()) != ERROR_SUCCESS)
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

const char *ClassifyPort(const std::string &port)
{
    char remote[MAX_PATH];
    DWORD length = sizeof(remote);
    if (port.compare(0, 3, "USB") == 0)
        return "USB";
    if (port.compare(0, 2, "\\\\") == 0)
        return "network";
    return WNetGetConnectionA(port.c_str(), remote, &length) == NO_ERROR ? "redirected" : "other";
}

ServiceProgram FindServiceProgram(const Invocation &invocation)
{
    ServiceProgram program;
    const std::string *given = OptionValue(invocation, "--exe");
    program.path = given != nullptr ? FullPath(*given) : DefaultServicePath();
    const size_t separator = program.path.find_last_of("\\/");
    program.directory = separator == std::string::npos ? std::string(".") : program.path.substr(0, separator);
    program.exists = IsFile(program.path);
    // The service ends an unquoted program name at the first blank; a quoted one at the quote.
    const bool quote = program.exists && program.path.find(' ') != std::string::npos;
    program.commandPath = quote ? "\"" + program.path + "\"" : program.path;
    return program;
}
