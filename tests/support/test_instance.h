// A printer as the service finds it (registry key with a "Port" value), a simulated
// library for it, and a running qelapp32.exe serving it, seen from a client process.
//
//     TestInstance instance("USB001");
//     ASSERT_TRUE(instance.Start());
//     EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
//     EXPECT_TRUE(instance.EndJob());
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "qelapp32/qelclient.h"
#include "service_process.h"
#include "support/sim_control.h"

std::string UniquePrinterName(const std::string &tag);

// A printer's event name from its format in the public header ("%s:QELAPP32_INIT_EVENT").
std::string InstanceEventName(const char *format, const std::string &printerName);

// The alert window of the instance serving the printer, found by class and title.
HWND FindAlertWindow(const std::string &printerName);

// The printer's key under HKLM\...\Printers, removed again with everything below it.
class TestPrinterKey {
public:
    TestPrinterKey(const std::string &printerName, const std::string &port);
    ~TestPrinterKey();

    const std::string &Name() const { return name_; }
    void SetPortValue(const std::string &port);
    void DeletePortValue();
    bool SetDriverDword(const std::string &value, DWORD data);
    bool SetDriverBinary(const std::string &value, const std::string &data);
    bool SetDriverString(const std::string &value, const std::string &data);
    bool ReadDriverDword(const std::string &value, DWORD *data) const;
    bool ReadDriverBinary(const std::string &value, std::string *data) const;
    bool HasDriverValue(const std::string &value) const;
    void DeleteDriverValue(const std::string &value);

private:
    std::string name_;
};

class TestInstance {
public:
    explicit TestInstance(const std::string &port = "LPT1:", const std::string &tag = "qel");
    ~TestInstance();

    // Starts the service and waits for its init event (or its end). The sim settings
    // and driver values a test wants at start-up are set before this. Each call starts a
    // fresh process, so one printer can be served by one instance after another.
    // The start and end go through the client library, as every client's do.
    bool Start(DWORD timeoutMs = 15000);
    bool StartWithArguments(const std::string &arguments, DWORD timeoutMs = 15000);
    // The answer's low 32 bits, sign-extended as the service's LRESULT; 0xBADBAD unanswered.
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD timeoutMs = 30000);
    // 1125 through the library: the printer handle from the high 16 bits of lParam; waits
    // for the ready-for-next-job event and the exit. The time from the request to the exit
    // goes to elapsedMs.
    bool EndJob(WPARAM appId = 0, LPARAM lParam = 0, LRESULT *answer = nullptr, ULONGLONG *elapsedMs = nullptr);

    HWND Window() const { return client_.window; }
    // The instance as the client library opened it, for the library's own calls.
    const QelInstance *Client() const { return &client_; }
    SimPrinter &Sim() { return sim_; }
    TestPrinterKey &Printer() { return printer_; }
    ServiceProcess &Process() { return *process_; }
    const std::string &PrinterName() const { return printer_.Name(); }
    std::string InitEventName() const { return InstanceEventName(QEL_EVENT_INIT_FORMAT, PrinterName()); }
    HWND AlertWindow() const { return FindAlertWindow(PrinterName()); }

private:
    SimPrinter sim_;
    TestPrinterKey printer_;
    std::unique_ptr<ServiceProcess> process_;
    QelInstance client_{};
};
