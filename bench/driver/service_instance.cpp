#include "service_instance.h"

#include <cstdio>

#include "bench_clock.h"
#include "qelapp32/client.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kEndTimeoutMs = 10000;
constexpr DWORD kRequestTimeoutMs = 30000;

std::string PrinterKeyPath(const std::string &name)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + name;
}

std::string EventName(const char *format, const std::string &printerName)
{
    char name[300];
    std::snprintf(name, sizeof(name), format, printerName.c_str());
    return name;
}

} // namespace

LRESULT SendRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kRequestTimeoutMs, &answer))
        return static_cast<LRESULT>(0xBADBAD);
    return static_cast<LRESULT>(answer);
}

BenchPrinterKey::BenchPrinterKey(const std::string &printerName, const char *port) : name_(printerName)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, QEL_VALUE_PORT, 0, REG_SZ, reinterpret_cast<const BYTE *>(port),
                       static_cast<DWORD>(lstrlenA(port) + 1));
        RegCloseKey(key);
    }
}

BenchPrinterKey::~BenchPrinterKey()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(name_).c_str());
}

bool BenchPrinterKey::ReadDriverDword(const char *value, DWORD *data) const
{
    const std::string path = PrinterKeyPath(name_) + QEL_DRIVER_DATA_SUFFIX;
    DWORD size = sizeof(*data);
    return RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), value, RRF_RT_REG_DWORD, nullptr, data, &size) ==
           ERROR_SUCCESS;
}

ServiceInstance::ServiceInstance(const char *port) : name_(UniqueName("printer")), key_(name_, port) {}

ServiceInstance::~ServiceInstance()
{
    process_.Kill();
}

double ServiceInstance::Start()
{
    return Launch() ? WaitUntilServing() : -1.0;
}

bool ServiceInstance::Launch()
{
    // The client's side of the handshake: the event exists before the service starts.
    initEvent_.reset(new NamedEvent(EventName(QEL_EVENT_INIT_FORMAT, name_)));
    launchedAt_ = NowMicroseconds();
    return process_.Start("qelapp32.exe", name_);
}

double ServiceInstance::WaitUntilServing()
{
    const std::unique_ptr<NamedEvent> initEvent = std::move(initEvent_);
    if (!initEvent || !WaitForEventOrExit(initEvent->Handle(), process_, kStartTimeoutMs))
        return -1.0;
    const double elapsed = NowMicroseconds() - launchedAt_;
    window_ = QelFindInstanceWindow(name_.c_str());
    return window_ != nullptr ? elapsed : -1.0;
}

double ServiceInstance::EndJob()
{
    NamedEvent nextJob(EventName(QEL_EVENT_NEXT_JOB_FORMAT, name_));
    DWORD appId = 0;
    key_.ReadDriverDword(QEL_VALUE_APPID, &appId);
    const double start = NowMicroseconds();
    SendRequest(window_, WM_QELAPP32_ENDJOB, appId, 0);
    if (WaitForSingleObject(nextJob.Handle(), kEndTimeoutMs) != WAIT_OBJECT_0)
        return -1.0;
    const double elapsed = NowMicroseconds() - start;
    process_.WaitForExit(kEndTimeoutMs);
    window_ = nullptr;
    return elapsed;
}

LRESULT ServiceInstance::Send(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return SendRequest(window_, message, wParam, lParam);
}
