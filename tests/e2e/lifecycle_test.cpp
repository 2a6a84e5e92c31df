// Start-up, serving and shutdown of the real program, seen from a separate client process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "qelapp32/qelclient.h"
#include "support/sim_control.h"
#include "support/test_instance.h"

namespace {

bool EventExists(const std::string &name)
{
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr)
        return false;
    CloseHandle(event);
    return true;
}

} // namespace

TEST(Lifecycle, StartsPublishesServesAndEndsOnEndJob)
{
    TestInstance instance("LPT1:");
    ASSERT_TRUE(instance.Start());
    DWORD appId = 0;
    DWORD hwnd = 0;
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_APPID, &appId));
    EXPECT_EQ(1u, appId);
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(instance.Window()), hwnd);

    char className[64] = {};
    GetClassNameA(instance.Window(), className, sizeof(className));
    EXPECT_STREQ(QEL_MAIN_WINDOW_CLASS, className);
    EXPECT_FALSE(IsWindowVisible(instance.Window()));
    HWND alertWindow = instance.AlertWindow();
    EXPECT_NE(nullptr, alertWindow);
    EXPECT_TRUE(EventExists(InstanceEventName(QEL_EVENT_WRITE_DATA_FORMAT, instance.PrinterName())));
    EXPECT_TRUE(EventExists(InstanceEventName(QEL_EVENT_GET_STATUS_FORMAT, instance.PrinterName())));

    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_UNUSED_1138)) << "1138 goes to DefWindowProcA";

    LRESULT answer = 0;
    ASSERT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5), &answer));
    EXPECT_EQ(1, answer);
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(0u, hwnd) << "no instance serves the printer any more";
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_APPID, &appId));
    EXPECT_EQ(1u, appId) << "the last ID stays";

    const std::vector<std::string> names = instance.Sim().CallNames();
    const std::vector<std::string> expected = {"TovPing", "TovRegisterApp", "TovReleaseAlerts", "TovUnregisterApp"};
    EXPECT_EQ(expected, names);
    const auto release = instance.Sim().CallsNamed("TovReleaseAlerts");
    ASSERT_EQ(1u, release.size());
    EXPECT_EQ((std::vector<std::string>{"1", "5", "1"}), release[0].args);
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(Lifecycle, EndJobWithoutTheClientsEventStillEndsTheInstance)
{
    TestInstance instance("LPT1:");
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_ENDJOB, 1, 0));
    ASSERT_TRUE(instance.Process().WaitForExit(10000));
    EXPECT_TRUE(instance.Process().HasLogLine(
        "QELAPP32: WM_QELAPP32_ENDJOB: Failed to open QELAPP32_READY_FOR_NEXT_JOB event\n"));
}

TEST(Lifecycle, RefusedRegistrationEndsStartUpWithoutPublishing)
{
    TestInstance instance("LPT1:");
    instance.Sim().Set("register_answer", "0x8001");
    EXPECT_FALSE(instance.Start());
    ASSERT_TRUE(instance.Process().WaitForExit(10000));
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_TRUE(instance.Process().HasLogLine("QELAPP32: ERROR: TovRegisterApp FAILED <FFFF8001h>\n"))
        << ::testing::PrintToString(instance.Process().LogLines());
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_APPID));
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_HWND));
}

TEST(Lifecycle, MissingLibraryEndsStartUpQuietly)
{
    // A copy of the program in a folder without the library.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "qel-nolib-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string program = folder + "\\qelapp32.exe";
    ASSERT_TRUE(CopyFileA((BinDirectory() + "\\qelapp32.exe").c_str(), program.c_str(), FALSE));

    TestPrinterKey printer(UniquePrinterName("nolib"), "LPT1:");
    std::string commandLine = program + " " + printer.Name();
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, 15000));
    DWORD exitCode = 1;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_HWND));
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(Lifecycle, SecondCopyKeepsTheFirstPublishedAndExits)
{
    TestInstance first("LPT1:");
    ASSERT_TRUE(first.Start());

    ServiceProcess second;
    ASSERT_TRUE(second.Start(first.PrinterName(), first.Sim().EnvironmentBlock()));
    ASSERT_TRUE(second.WaitForExit(10000));
    EXPECT_EQ(0u, second.ExitCode()) << "no job is queued";
    EXPECT_TRUE(second.HasLogLine("QELAPP32: InitApplication: Found another copy of myself\n"));

    DWORD hwnd = 0;
    EXPECT_TRUE(first.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first.Window()), hwnd);
    EXPECT_EQ(1, first.Send(WM_QELAPP32_NOOP));
    EXPECT_TRUE(first.EndJob());
}

TEST(Lifecycle, CheckOnlyRunTouchesNothing)
{
    TestPrinterKey printer(UniquePrinterName("q"), "LPT1:");
    ServiceProcess process;
    ASSERT_TRUE(process.Start("/Q " + printer.Name()));
    ASSERT_TRUE(process.WaitForExit(10000));
    EXPECT_EQ(1u, process.ExitCode()) << "every component is present or restorable";
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_HWND));
    EXPECT_EQ(nullptr, FindWindowA(QEL_MAIN_WINDOW_CLASS, ("VODUVI32 " + printer.Name()).c_str()));
}

TEST(Lifecycle, OverlongPrinterNameIsRefused)
{
    ServiceProcess process;
    ASSERT_TRUE(process.Start(std::string(194, 'n')));
    ASSERT_TRUE(process.WaitForExit(10000));
    EXPECT_EQ(0u, process.ExitCode());
    EXPECT_TRUE(process.HasLogLine("QELAPP32: WinMain: printer name longer than 193 characters refused\n"));
}

// A request that arrives while 1125 ends the instance is served after the end has begun:
// it must not start work the shutdown would release the library under.
TEST(Lifecycle, SendFileQueuedBehindEndJobIsRefused)
{
    TestInstance instance("LPT1:");
    ASSERT_TRUE(instance.Start());
    std::thread ender([&instance] { EXPECT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5))); });
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovReleaseAlerts", 1, 10000)) << "the end has begun";
    DWORD_PTR answer = 0xBADBAD;
    EXPECT_EQ(QEL_REFUSED, QelSendFile(instance.Client(), WM_QELAPP32_SENDFILE, "win.ini", 10000, &answer));
    ender.join();
    EXPECT_EQ(0u, answer);
    EXPECT_TRUE(
        instance.Process().HasLogLine("QELAPP32: MainWindowProc: message 1134 refused while the instance is ending\n"));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovStartDoc").empty());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
