#include "test_instance.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::string PrinterKeyPath(const std::string &name)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + name;
}

std::string DriverDataPath(const std::string &name)
{
    return PrinterKeyPath(name) + QEL_DRIVER_DATA_SUFFIX;
}

bool WriteValue(const std::string &path, const std::string &value, DWORD type, const void *data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, value.c_str(), 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool ReadValue(const std::string &path, const std::string &value, std::string *data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, value.c_str(), nullptr, nullptr, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data->assign(size, '\0');
        result = RegQueryValueExA(key, value.c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE *>(size ? &(*data)[0] : nullptr), &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

std::string InstanceEventName(const char *format, const std::string &printerName)
{
    char name[300];
    std::snprintf(name, sizeof(name), format, printerName.c_str());
    return name;
}

HWND FindAlertWindow(const std::string &printerName)
{
    return FindWindowA(QEL_ALERT_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printerName).c_str());
}

std::string UniquePrinterName(const std::string &tag)
{
    static std::atomic<int> counter{0};
    char name[96];
    std::snprintf(name, sizeof(name), "QelTest %s %lu-%d", tag.c_str(), GetCurrentProcessId(), ++counter);
    return name;
}

TestPrinterKey::TestPrinterKey(const std::string &printerName, const std::string &port) : name_(printerName)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str());
    SetPortValue(port);
}

TestPrinterKey::~TestPrinterKey()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str());
}

void TestPrinterKey::SetPortValue(const std::string &port)
{
    WriteValue(PrinterKeyPath(name_), QEL_VALUE_PORT, REG_SZ, port.c_str(), static_cast<DWORD>(port.size() + 1));
}

void TestPrinterKey::DeletePortValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, QEL_VALUE_PORT);
        RegCloseKey(key);
    }
}

bool TestPrinterKey::SetDriverDword(const std::string &value, DWORD data)
{
    return WriteValue(DriverDataPath(name_), value, REG_DWORD, &data, sizeof(data));
}

bool TestPrinterKey::SetDriverBinary(const std::string &value, const std::string &data)
{
    return WriteValue(DriverDataPath(name_), value, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}

bool TestPrinterKey::SetDriverString(const std::string &value, const std::string &data)
{
    return WriteValue(DriverDataPath(name_), value, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
}

bool TestPrinterKey::ReadDriverDword(const std::string &value, DWORD *data) const
{
    std::string bytes;
    if (!ReadValue(DriverDataPath(name_), value, &bytes) || bytes.size() != sizeof(DWORD))
        return false;
    std::memcpy(data, bytes.data(), sizeof(DWORD));
    return true;
}

bool TestPrinterKey::ReadDriverBinary(const std::string &value, std::string *data) const
{
    return ReadValue(DriverDataPath(name_), value, data);
}

bool TestPrinterKey::HasDriverValue(const std::string &value) const
{
    std::string ignored;
    return ReadValue(DriverDataPath(name_), value, &ignored);
}

void TestPrinterKey::DeleteDriverValue(const std::string &value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DriverDataPath(name_).c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, value.c_str());
        RegCloseKey(key);
    }
}

TestInstance::TestInstance(const std::string &port, const std::string &tag)
    : printer_(UniquePrinterName(tag), port), process_(new ServiceProcess)
{
}

TestInstance::~TestInstance()
{
    process_->Kill();
    QelCloseInstance(&client_);
}

bool TestInstance::Start(DWORD timeoutMs)
{
    return StartWithArguments(PrinterName(), timeoutMs);
}

bool TestInstance::StartWithArguments(const std::string &arguments, DWORD timeoutMs)
{
    // The process is started here, under the test's debugger; the library makes the events
    // first and waits for them.
    process_.reset(new ServiceProcess);
    QelCloseInstance(&client_);
    QelStartEvents events{};
    if (QelCreateStartEvents(PrinterName().c_str(), &events) != QEL_OK)
        return false;
    const bool started =
        process_->Start(arguments, sim_.EnvironmentBlock()) &&
        QelAwaitStart(&events, process_->Process(), nullptr, PrinterName().c_str(), timeoutMs, &client_) == QEL_OK;
    QelCloseStartEvents(&events);
    return started;
}

LRESULT TestInstance::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs)
{
    DWORD_PTR answer = 0;
    if (QelSend(&client_, message, wParam, lParam, timeoutMs, &answer) != QEL_OK)
        return static_cast<LRESULT>(0xBADBAD);
    return static_cast<LRESULT>(static_cast<LONG>(QEL_ANSWER(answer)));
}

bool TestInstance::EndJob(WPARAM appId, LPARAM lParam, LRESULT *answer, ULONGLONG *elapsedMs)
{
    const ULONGLONG started = GetTickCount64();
    DWORD_PTR raw = 0xBADBAD;
    const QelResult ended =
        QelEndInstance(&client_, static_cast<WORD>(appId), HIWORD(static_cast<DWORD>(lParam)), 30000, &raw);
    if (answer != nullptr)
        *answer = static_cast<LRESULT>(raw);
    if (elapsedMs != nullptr)
        *elapsedMs = GetTickCount64() - started;
    return (ended == QEL_OK || ended == QEL_REFUSED) && process_->WaitForExit(10000);
}
