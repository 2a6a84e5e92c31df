// The component check of the real program: the /Q run's exit codes, and a normal start
// that finds an outdated component. Every component the tests put into the system
// directory is removed again, with the wininit.ini entries and renames the check leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "qelapp32/client.h"
#include "support/component_sandbox.h"
#include "support/restart_question.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;

// Current components and, as an installation leaves them, a backup of each.
bool PutCurrentComponents(const ComponentSandbox &sandbox)
{
    for (const char *backup :
         {"qrmtovs.bak", "qrmtov.bak", "qrmlmdll.bak", "qrmlmpm.bak", "qrmusb32.bak", "qrmpps.bak", "korvalis.bak"}) {
        if (!sandbox.Put(backup, "ver_5_0_0_0.dll"))
            return false;
    }
    return sandbox.Put("QRMTOVS.EXE", "ver_5_0_0_0.dll") && sandbox.Put("QRMTOV.DLL", "ver_6_0_0_0.dll") &&
           sandbox.Put("QRMUSB32.DLL", "ver_5_0_123_4.dll") && sandbox.Put("QRMLMPM.DLL", "ver_96_5_0_0.dll") &&
           sandbox.Put("QRMPPS.EXE", "no_version.dll") && sandbox.Put("KORVALIS.EXE", "no_version.dll");
}

} // namespace

TEST(ComponentCheckE2E, CheckOnlyRunAnswers1WhenEveryComponentIsCurrent)
{
    ComponentSandbox sandbox;
    ASSERT_TRUE(PutCurrentComponents(sandbox));
    TestPrinterKey printer(UniquePrinterName("q-current"), "LPT1:");
    ServiceProcess process;
    ASSERT_TRUE(process.Start("/q " + printer.Name()));
    ASSERT_TRUE(process.WaitForExit(kWaitMs));
    EXPECT_EQ(1u, process.ExitCode());
    EXPECT_TRUE(sandbox.RenameLines().empty());
    EXPECT_TRUE(process.LogLines().empty());
}

TEST(ComponentCheckE2E, CheckOnlyRunAnswers0ForAnOutdatedComponentWithoutWindowOrRegistry)
{
    ComponentSandbox sandbox;
    ASSERT_TRUE(PutCurrentComponents(sandbox));
    ASSERT_TRUE(sandbox.Put("QRMLMPM.DLL", "ver_96_4_9_9.dll"));
    ASSERT_TRUE(sandbox.Put("qrmlmpm.bak", "ver_97_0_0_0.dll"));
    TestPrinterKey printer(UniquePrinterName("q-outdated"), "LPT1:");
    ServiceProcess process;
    ASSERT_TRUE(process.Start("/Q " + printer.Name()));
    ASSERT_TRUE(process.WaitForExit(kWaitMs)) << "no question is asked on a check-only run";
    EXPECT_EQ(0u, process.ExitCode());

    EXPECT_EQ(7u, sandbox.RenameLines().size()) << "the replacement was scheduled";
    EXPECT_TRUE(sandbox.Exists("qrmlmpm.tmp"));
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_HWND));
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_APPID));
    EXPECT_EQ(nullptr, FindWindowA(QEL_MAIN_WINDOW_CLASS, ("VODUVI32 " + printer.Name()).c_str()));
    HANDLE initCancel =
        OpenEventA(SYNCHRONIZE, FALSE, InstanceEventName(QEL_EVENT_INIT_CANCEL_FORMAT, printer.Name()).c_str());
    EXPECT_EQ(nullptr, initCancel) << "no event is created on a check-only run";
    if (initCancel != nullptr)
        CloseHandle(initCancel);
    EXPECT_TRUE(process.LogLines().empty());
}

TEST(ComponentCheckE2E, OutdatedComponentCancelsStartUpAndAsksForARestart)
{
    ComponentSandbox sandbox;
    ASSERT_TRUE(PutCurrentComponents(sandbox));
    ASSERT_TRUE(sandbox.Put("QRMTOV.DLL", "ver_4_99_0_0.dll"));

    TestPrinterKey printer(UniquePrinterName("outdated"), "LPT1:");
    SimPrinter sim;
    HANDLE initEvent =
        CreateEventA(nullptr, FALSE, FALSE, InstanceEventName(QEL_EVENT_INIT_FORMAT, printer.Name()).c_str());
    HANDLE initCancel =
        CreateEventA(nullptr, FALSE, FALSE, InstanceEventName(QEL_EVENT_INIT_CANCEL_FORMAT, printer.Name()).c_str());
    ServiceProcess process;
    ASSERT_TRUE(process.Start(printer.Name(), sim.EnvironmentBlock()));

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(initCancel, kWaitMs)) << "a waiting client learns of it";
    HWND dialog = WaitForRestartQuestion(process.ProcessId());
    ASSERT_NE(nullptr, dialog);
    char caption[64] = {'?'};
    GetWindowTextA(dialog, caption, sizeof(caption));
    EXPECT_STREQ("", caption);
    const std::vector<std::string> texts = DialogTexts(dialog);
    const std::string question = "Printing cannot continue because the printer software is not ready.\n"
                                 "Windows must be restarted before documents can be printed.\n\n"
                                 "Do you wish to restart Windows now?";
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), question)) << ::testing::PrintToString(texts);
    EXPECT_NE(nullptr, GetDlgItem(dialog, IDYES));
    EXPECT_NE(nullptr, GetDlgItem(dialog, IDNO));

    // While the question waits, the window exists but the library is not bound: a client
    // that finds it is refused, and a second copy does not publish it.
    HWND window = FindWindowA(QEL_MAIN_WINDOW_CLASS, ("VODUVI32 " + printer.Name()).c_str());
    ASSERT_NE(nullptr, window);
    DWORD_PTR answer = 99;
    EXPECT_NE(0, SendMessageTimeoutA(window, WM_QELAPP32_PING, 0, 0, SMTO_NORMAL, kWaitMs, &answer));
    EXPECT_EQ(0u, answer);
    EXPECT_TRUE(process.HasLogLine("QELAPP32: MainWindowProc: message 1135 refused while the instance is starting\n"));
    ServiceProcess second;
    ASSERT_TRUE(second.Start(printer.Name(), sim.EnvironmentBlock()));
    ASSERT_TRUE(second.WaitForExit(kWaitMs));
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_HWND));
    // A value left by an earlier run can name the same window handle: a failed start clears it.
    ASSERT_TRUE(printer.SetDriverDword(QEL_VALUE_HWND, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window))));

    // No: the process ends without binding the library.
    AnswerRestartQuestion(dialog, IDNO);
    ASSERT_TRUE(process.WaitForExit(kWaitMs));
    EXPECT_EQ(0u, process.ExitCode());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(initEvent, 0));
    EXPECT_TRUE(sim.Calls().empty()) << "the library is never loaded";
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_APPID));
    DWORD published = 1;
    EXPECT_TRUE(printer.ReadDriverDword(QEL_VALUE_HWND, &published));
    EXPECT_EQ(0u, published) << "no client is left pointed at the dead window";
    EXPECT_EQ(7u, sandbox.RenameLines().size());
    EXPECT_EQ(0, process.AccessViolations());
    CloseHandle(initEvent);
    CloseHandle(initCancel);
}
