#include <gtest/gtest.h>

#include "platform_recorder.h"
#include "tovlib/tov_library.h"

TEST(TovLibrary, BindsAll24EntryPointsOfTheLibraryBesideTheProgram)
{
    const TovApi saved = g_tov;
    ASSERT_TRUE(BindTovLibrary());
    const auto *entries = reinterpret_cast<const void *const *>(&g_tov);
    static_assert(sizeof(TovApi) == kTovEntryPointCount * sizeof(void *), "one slot per entry point");
    for (int i = 0; i < kTovEntryPointCount; ++i)
        EXPECT_NE(nullptr, entries[i]) << "entry point " << i;
    FreeTovLibrary();
    EXPECT_EQ(nullptr, g_tovModule);
    g_tov = saved;
}

TEST(TovLibrary, ModuleWithoutTheEntryPointsDoesNotBind)
{
    TovApi api{};
    EXPECT_FALSE(ResolveTovEntryPoints(GetModuleHandleA("kernel32.dll"), api));
    EXPECT_EQ(nullptr, api.TovUnregisterApp) << "resolution stops at the first missing entry point";
}

TEST(TovLibrary, StarterNeedsASystemDirectoryThatFits)
{
    struct Case {
        UINT answer;
        const char *line;
    };
    const Case cases[] = {
        {0, "QELAPP32: ERROR: GetSystemDirectory(buffer, 250) FAILED <0>\n"},
        {250, "QELAPP32: ERROR: GetSystemDirectory(buffer, 250) FAILED <250>\n"},
        {400, "QELAPP32: ERROR: GetSystemDirectory(buffer, 250) FAILED <400>\n"},
    };
    for (const Case &c : cases) {
        PlatformRecorder platform;
        platform.systemDirectory = [&](LPSTR, UINT) { return c.answer; };
        EXPECT_FALSE(StartTovStarterProgram());
        ASSERT_EQ(1u, platform.Lines().size());
        EXPECT_EQ(c.line, platform.Lines()[0]);
    }
}

TEST(TovLibrary, MissingStarterIsLoggedWithItsPath)
{
    PlatformRecorder platform;
    platform.systemDirectory = [](LPSTR buffer, UINT) {
        lstrcpyA(buffer, "C:\\no-such-folder");
        return static_cast<UINT>(lstrlenA(buffer));
    };
    EXPECT_FALSE(StartTovStarterProgram());
    ASSERT_EQ(1u, platform.Lines().size());
    EXPECT_EQ(0u, platform.Lines()[0].find("QELAPP32: WinExec (C:\\no-such-folder\\Qrmstart.exe, SW_HIDE) FAILED <"));
}
