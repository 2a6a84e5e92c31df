// The spooler's entry points in the real platform table load the spooler on first use.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/platform.h"

TEST(PlatformSpooler, OpenPrinterReachesTheSpoolerOnFirstUse)
{
    const PlatformApi api = RealPlatformApi();
    char name[] = "QelTest printer nobody installed";
    HANDLE printer = nullptr;
    SetLastError(0);
    EXPECT_FALSE(api.OpenPrinterA(name, &printer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError()) << "the spooler's own answer";
    EXPECT_EQ(nullptr, printer);
    EXPECT_NE(nullptr, GetModuleHandleA("winspool.drv"));
}

TEST(PlatformSpooler, JobCallsOnAClosedHandleFailAsTheSpoolerSays)
{
    const PlatformApi api = RealPlatformApi();
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(api.EnumJobsA(nullptr, 0, 1, 1, nullptr, 0, &needed, &returned));
    EXPECT_FALSE(api.SetJobA(nullptr, 1, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_FALSE(api.ClosePrinter(nullptr));
}
