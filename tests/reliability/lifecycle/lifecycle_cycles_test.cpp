// Instances start, serve and end again and again for one printer, and side by side for
// ten printers, each answering for its own printer only and leaving behind no more than
// the design leaves: "QelApp32Hwnd" 0 and "QelApp32AppId".
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "battery.h"
#include "qelapp32/client.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

constexpr int kPrintersAtOnce = 10;
const std::vector<std::string> kWhatTheDesignLeaves = {QEL_VALUE_APPID, QEL_VALUE_HWND};

std::string DriverDataPath(const std::string &printer)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + printer + QEL_DRIVER_DATA_SUFFIX;
}

std::string WindowTitle(HWND window)
{
    char title[300] = {};
    GetWindowTextA(window, title, sizeof(title));
    return title;
}

DWORD WindowProcess(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// What a finished instance left in its printer's key.
void ExpectOnlyTheDesignsValues(TestInstance &printer)
{
    EXPECT_EQ(kWhatTheDesignLeaves, ListRegistryValueNames(DriverDataPath(printer.PrinterName())));
    DWORD hwnd = 1;
    EXPECT_TRUE(printer.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(0u, hwnd);
}

std::string Average(ULONGLONG total, int count)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.0f ms", count == 0 ? 0.0 : static_cast<double>(total) / count);
    return text;
}

} // namespace

TEST(LifecycleCycles, OnePrinterStartsServesAndEndsAgainAndAgain)
{
    const int cycles = Battery().lifecycleCycles;
    TestInstance printer("LPT1:", "cycle");
    ULONGLONG startTotal = 0;
    ULONGLONG endTotal = 0;
    ULONGLONG endWorst = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const ULONGLONG starting = GetTickCount64();
        ASSERT_TRUE(printer.Start());
        startTotal += ElapsedMs(starting);
        EXPECT_EQ(QEL_WINDOW_TITLE_PREFIX + printer.PrinterName(), WindowTitle(printer.Window()));
        EXPECT_EQ(1, printer.Send(WM_QELAPP32_NOOP));
        EXPECT_EQ(0x00050001, printer.Send(WM_QELAPP32_ENUMPRINTER));
        LRESULT answer = -1;
        ULONGLONG ended = 0;
        ASSERT_TRUE(printer.EndJob(1, MAKELPARAM(0, 5), &answer, &ended));
        endTotal += ended;
        endWorst = ended > endWorst ? ended : endWorst;
        EXPECT_EQ(1, answer);
        EXPECT_EQ(0u, printer.Process().ExitCode());
        EXPECT_EQ(0, printer.Process().AccessViolations());
        EXPECT_TRUE(printer.Process().LogLines().empty()) << ::testing::PrintToString(printer.Process().LogLines());
        ExpectOnlyTheDesignsValues(printer);
        if (HasFailure())
            break;
    }
    ReportFigure("lifecycle_cycles", std::to_string(cycles) + " cycles, start " + Average(startTotal, cycles) +
                                         ", end " + Average(endTotal, cycles) + " (worst " + std::to_string(endWorst) +
                                         " ms)");
}

TEST(LifecycleCycles, TenPrintersAtOnceEachAnswerForTheirOwn)
{
    std::vector<std::unique_ptr<TestInstance>> printers;
    for (int i = 0; i < kPrintersAtOnce; ++i) {
        printers.emplace_back(new TestInstance("QELPORT" + std::to_string(i) + ":", "many"));
        printers.back()->Sim().Set("hprinter", std::to_string(0x100 + i));
    }
    // Starting and ending run side by side; the checks run on this thread.
    const auto inParallel = [](const std::function<void(int)> &body) {
        std::vector<std::thread> threads;
        for (int i = 0; i < kPrintersAtOnce; ++i)
            threads.emplace_back(body, i);
        for (std::thread &thread : threads)
            thread.join();
    };
    std::array<bool, kPrintersAtOnce> started{};
    const ULONGLONG starting = GetTickCount64();
    inParallel([&](int i) { started[i] = printers[i]->Start(); });
    ReportFigure("ten_printers_started_ms", std::to_string(ElapsedMs(starting)));
    for (int i = 0; i < kPrintersAtOnce; ++i)
        ASSERT_TRUE(started[i]) << "printer " << i;

    for (int i = 0; i < kPrintersAtOnce; ++i) {
        SCOPED_TRACE("printer " + std::to_string(i));
        TestInstance &printer = *printers[i];
        const std::string title = QEL_WINDOW_TITLE_PREFIX + printer.PrinterName();
        EXPECT_EQ(title, WindowTitle(printer.Window()));
        EXPECT_EQ(printer.Window(), FindWindowA(QEL_MAIN_WINDOW_CLASS, title.c_str()));
        EXPECT_EQ(printer.Process().ProcessId(), WindowProcess(printer.Window()));
        const HWND alertWindow = FindWindowA(QEL_ALERT_WINDOW_CLASS, title.c_str());
        EXPECT_EQ(printer.Process().ProcessId(), WindowProcess(alertWindow));
        EXPECT_EQ(1, printer.Send(WM_QELAPP32_NOOP));
        EXPECT_EQ(((0x100 + i) << 16) | 1, printer.Send(WM_QELAPP32_ENUMPRINTER)) << "its own printer's handle";
        EXPECT_EQ(1, printer.Send(WM_QELAPP32_CAPTUREALERTS));
        // Its library saw its own port and its own alert window, nobody else's.
        const std::string alertHandle = std::to_string(reinterpret_cast<ULONG_PTR>(alertWindow));
        for (const SimCall &call : printer.Sim().Calls()) {
            if (call.name == "TovEnumSpecificPort") {
                EXPECT_EQ("QELPORT" + std::to_string(i) + ":", call.args.at(2));
            } else if (call.name == "TovRegisterApp") {
                EXPECT_EQ(alertHandle, call.args.at(0));
            } else if (call.name == "TovCaptureAlerts") {
                EXPECT_EQ(alertHandle, call.args.at(3));
            }
        }
    }

    std::array<bool, kPrintersAtOnce> ended{};
    const ULONGLONG ending = GetTickCount64();
    inParallel([&](int i) { ended[i] = printers[i]->EndJob(1, MAKELPARAM(0, 5)); });
    ReportFigure("ten_printers_ended_ms", std::to_string(ElapsedMs(ending)));
    for (int i = 0; i < kPrintersAtOnce; ++i) {
        SCOPED_TRACE("printer " + std::to_string(i));
        TestInstance &printer = *printers[i];
        EXPECT_TRUE(ended[i]);
        EXPECT_EQ(0u, printer.Process().ExitCode());
        EXPECT_EQ(0, printer.Process().AccessViolations());
        ExpectOnlyTheDesignsValues(printer);
    }
}
