// A printer whose registry key and simulated library outlive its instances, so that it
// can be served by one instance after another, or side by side with other printers.
//
//     ServedPrinter printer("cycle", "LPT1:");
//     for (int i = 0; i < 3; ++i) { ASSERT_TRUE(printer.Start()); ASSERT_TRUE(printer.EndJob()); }
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "support/test_instance.h"

class ServedPrinter {
public:
    ServedPrinter(const std::string &tag, const std::string &port);
    ~ServedPrinter();
    ServedPrinter(const ServedPrinter &) = delete;
    ServedPrinter &operator=(const ServedPrinter &) = delete;

    const std::string &Name() const { return key_.Name(); }
    TestPrinterKey &Key() { return key_; }
    SimPrinter &Sim() { return sim_; }
    ServiceProcess &Process() { return *process_; }
    HWND Window() const { return window_; }

    // Starts a fresh instance and waits for its init event (false when it ended instead).
    bool Start(DWORD timeoutMs = 15000);
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD timeoutMs = 30000);
    // 1125 with the client's ready-for-next-job event; true once the event is signalled and
    // the process has ended. The time from the request to the event goes to elapsedMs.
    bool EndJob(LRESULT *answer = nullptr, ULONGLONG *elapsedMs = nullptr);

private:
    std::string EventName(const char *format) const;

    SimPrinter sim_;
    TestPrinterKey key_;
    std::unique_ptr<ServiceProcess> process_;
    HWND window_ = nullptr;
};
