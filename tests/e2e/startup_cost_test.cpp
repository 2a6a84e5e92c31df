// What a start-up costs: the instance must not load DLLs that only rare requests need.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cctype>
#include <string>
#include <vector>

#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

std::vector<std::string> LoadedModules(DWORD processId)
{
    std::vector<std::string> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
        std::string name = entry.szModule;
        for (char &c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        modules.push_back(name);
    }
    CloseHandle(snapshot);
    return modules;
}

bool Contains(const std::vector<std::string> &modules, const std::string &name)
{
    for (const std::string &module : modules) {
        if (module == name)
            return true;
    }
    return false;
}

} // namespace

// The spooler's DLL and what it drags in (the common controls and their theme engine)
// cost tens of milliseconds of every start; only the spooler probe needs them, and it
// loads the spooler when it first asks.
TEST(StartupCost, LoadsTheSpoolerDllOnlyWhenTheProbeAsks)
{
    TestInstance instance("LPT1:");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    const std::vector<std::string> atStart = LoadedModules(instance.Process().ProcessId());
    ASSERT_TRUE(Contains(atStart, "qrmtov.dll")) << "the snapshot sees the service's modules";
    for (const char *unwanted : {"winspool.drv", "compstui.dll", "comctl32.dll"})
        EXPECT_FALSE(Contains(atStart, unwanted)) << unwanted << " was loaded at start-up";

    // The suspend query runs the spooler probe; Wine's spooler knows no such printer.
    EXPECT_EQ(TRUE, instance.Send(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND));
    EXPECT_TRUE(Contains(LoadedModules(instance.Process().ProcessId()), "winspool.drv"))
        << "the probe reached the real spooler";
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
