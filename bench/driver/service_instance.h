// A running qelapp32.exe on the simulated library, seen from a client process: its
// printer key, its start-up handshake, its window and memory placed in its process.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "core/remote_memory.h"

#include "child_process.h"

// The printer's registry key with a "Port" value; removed again with everything below it.
class BenchPrinterKey {
public:
    BenchPrinterKey(const std::string &printerName, const char *port);
    ~BenchPrinterKey();
    BenchPrinterKey(const BenchPrinterKey &) = delete;
    BenchPrinterKey &operator=(const BenchPrinterKey &) = delete;

    bool ReadDriverDword(const char *value, DWORD *data) const;

private:
    std::string name_;
};

class ServiceInstance {
public:
    explicit ServiceInstance(const char *port = "LPT1:");
    ~ServiceInstance();
    ServiceInstance(const ServiceInstance &) = delete;
    ServiceInstance &operator=(const ServiceInstance &) = delete;

    // Starts the service and waits for its init event; the time from before process
    // creation until the event was seen, in microseconds, or a negative value on failure.
    double Start();
    // Start in two halves, for many instances started at once: Launch creates the
    // process (false on failure), WaitUntilServing waits for its init event and answers
    // the time since Launch as Start does.
    bool Launch();
    double WaitUntilServing();
    // Sends 1125 and waits for the ready-for-next-job event; microseconds from the send
    // until the event, or a negative value on failure. The process is gone afterwards.
    double EndJob();

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.Handle(); }
    DWORD ProcessId() const { return process_.Id(); }
    const std::string &PrinterName() const { return name_; }

private:
    std::string name_;
    BenchPrinterKey key_;
    ChildProcess process_;
    HWND window_ = nullptr;
    std::unique_ptr<NamedEvent> initEvent_;
    double launchedAt_ = 0;
};

// SendMessageTimeoutA with a generous limit, for the service and the floor alike; a
// request that times out answers 0xBADBAD.
LRESULT SendRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
