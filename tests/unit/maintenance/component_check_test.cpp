// The component check and the replacement at restart, on real files in the system
// directory of the Wine prefix.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <utility>
#include <vector>

#include "maintenance/component_check.h"
#include "maintenance/component_replacement.h"
#include "platform_recorder.h"
#include "support/component_sandbox.h"

namespace {

struct Placement {
    const char *name;
    const char *fixture;
};

// Every component present and exactly as recent as required.
const std::vector<Placement> kCurrentSet = {
    {"QRMTOVS.EXE", "ver_5_0_0_0.dll"},  {"QRMTOV.DLL", "ver_5_0_0_0.dll"}, {"QRMUSB32.DLL", "ver_5_0_0_0.dll"},
    {"QRMLMPM.DLL", "ver_96_5_0_0.dll"}, {"QRMPPS.EXE", "no_version.dll"},  {"KORVALIS.EXE", "no_version.dll"},
};

const char *const kTargets[] = {"qrmtovs", "qrmtov", "qrmlmdll", "qrmlmpm", "qrmusb32", "qrmpps", "korvalis"};
const char *const kTargetExtensions[] = {"exe", "dll", "dll", "dll", "dll", "exe", "exe"};

class ComponentTest : public ::testing::Test {
protected:
    void PutAll(const std::vector<Placement> &placements)
    {
        for (const Placement &placement : placements)
            ASSERT_TRUE(sandbox.Put(placement.name, placement.fixture)) << placement.name;
    }
    void PutCurrentSetExcept(const std::string &name, const char *fixture = nullptr)
    {
        for (const Placement &placement : kCurrentSet) {
            if (name == placement.name) {
                if (fixture != nullptr) {
                    ASSERT_TRUE(sandbox.Put(placement.name, fixture));
                }
            } else {
                ASSERT_TRUE(sandbox.Put(placement.name, placement.fixture));
            }
        }
    }
    bool AnyTemporary() const
    {
        for (const char *target : kTargets) {
            if (sandbox.Exists(std::string(target) + ".tmp"))
                return true;
        }
        return false;
    }
    void ExpectNothingScheduled() const
    {
        EXPECT_TRUE(sandbox.RenameLines().empty());
        EXPECT_TRUE(sandbox.PendingRenames().empty());
        EXPECT_FALSE(AnyTemporary());
    }

    PlatformRecorder platform;
    ComponentSandbox sandbox;
};

std::vector<std::string> ExpectedRenameLines()
{
    const std::string directory = SystemDirectory();
    std::vector<std::string> lines;
    for (size_t i = 0; i < 7; ++i) {
        const std::string stem = directory + "\\" + kTargets[i];
        lines.push_back(stem + "." + kTargetExtensions[i] + "=" + stem + ".tmp");
    }
    return lines;
}

} // namespace

TEST_F(ComponentTest, AllCurrentComponentsPassAndNothingIsCopied)
{
    PutAll(kCurrentSet);
    EXPECT_EQ(1, CheckComponents());
    ExpectNothingScheduled();
    EXPECT_TRUE(platform.Lines().empty()) << "the check writes no log line";
}

struct VersionCase {
    const char *component;
    const char *fixture;
    int expected;
};

class ComponentVersionTest : public ComponentTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ComponentVersionTest, ComparesMajorAndMinorOnly)
{
    const VersionCase &c = GetParam();
    PutCurrentSetExcept(c.component, c.fixture);
    for (const char *target : kTargets)
        ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
    EXPECT_EQ(c.expected, CheckComponents()) << c.component << " at " << c.fixture;
    if (c.expected == 1)
        ExpectNothingScheduled();
    else
        EXPECT_EQ(ExpectedRenameLines(), sandbox.RenameLines());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ComponentVersionTest,
    ::testing::Values(
        VersionCase{"QRMTOV.DLL", "ver_5_0_0_0.dll", 1}, VersionCase{"QRMTOV.DLL", "ver_4_99_0_0.dll", 0},
        VersionCase{"QRMTOV.DLL", "ver_5_0_123_4.dll", 1}, VersionCase{"QRMTOV.DLL", "ver_6_0_0_0.dll", 1},
        VersionCase{"QRMTOV.DLL", "ver_40000_0_0_0.dll", 1}, VersionCase{"QRMTOVS.EXE", "ver_4_99_0_0.dll", 0},
        VersionCase{"QRMUSB32.DLL", "ver_4_99_0_0.dll", 0}, VersionCase{"QRMLMPM.DLL", "ver_96_4_9_9.dll", 0},
        VersionCase{"QRMLMPM.DLL", "ver_96_5_0_0.dll", 1}, VersionCase{"QRMLMPM.DLL", "ver_97_0_0_0.dll", 1},
        VersionCase{"QRMLMPM.DLL", "ver_96_40000_0_0.dll", 1}, VersionCase{"QRMLMPM.DLL", "ver_6_0_0_0.dll", 0},
        // Without a version resource a versioned row passes.
        VersionCase{"QRMTOV.DLL", "no_version.dll", 1},
        // Presence-only rows never have their version read.
        VersionCase{"QRMPPS.EXE", "ver_4_99_0_0.dll", 1}, VersionCase{"KORVALIS.EXE", "ver_4_99_0_0.dll", 1}));

TEST_F(ComponentTest, MissingComponentIsRestoredFromItsBackupWithoutAVersionCheck)
{
    PutCurrentSetExcept("QRMTOVS.EXE");
    ASSERT_TRUE(sandbox.Put("QRMTOVS.BAK", "ver_4_99_0_0.dll"));
    EXPECT_EQ(1, CheckComponents()) << "the restored copy is trusted";
    ASSERT_TRUE(sandbox.Exists("QRMTOVS.EXE"));
    EXPECT_EQ(ReadWholeFile(FixturePath("ver_4_99_0_0.dll")), sandbox.Content("QRMTOVS.EXE"));
    ExpectNothingScheduled();
}

TEST_F(ComponentTest, MissingComponentWithoutBackupStillPasses)
{
    PutCurrentSetExcept("QRMTOV.DLL");
    EXPECT_EQ(1, CheckComponents());
    EXPECT_FALSE(sandbox.Exists("QRMTOV.DLL"));
}

TEST_F(ComponentTest, EmptySystemDirectoryPasses)
{
    EXPECT_EQ(1, CheckComponents());
    ExpectNothingScheduled();
}

TEST_F(ComponentTest, OutdatedRowSchedulesOnceAndStopsTheWalk)
{
    PutCurrentSetExcept("QRMUSB32.DLL", "ver_4_99_0_0.dll");
    // Rows after the outdated one: an outdated row 3 and a missing row 5 with its backup.
    ASSERT_TRUE(sandbox.Put("QRMLMPM.DLL", "ver_96_4_9_9.dll"));
    sandbox.Remove("KORVALIS.EXE");
    ASSERT_TRUE(sandbox.Put("KORVALIS.BAK", "ver_6_0_0_0.dll"));

    EXPECT_EQ(0, CheckComponents());
    EXPECT_FALSE(sandbox.Exists("KORVALIS.EXE")) << "row 5 is not reached";
    // Scheduled once; only the row with a backup to copy gets an entry.
    EXPECT_EQ(std::vector<std::string>{ExpectedRenameLines().back()}, sandbox.RenameLines());
    EXPECT_EQ(ReadWholeFile(FixturePath("ver_6_0_0_0.dll")), sandbox.Content("korvalis.tmp"));
    EXPECT_EQ(1u, sandbox.PendingRenames().size());
}

TEST_F(ComponentTest, UnusableSystemDirectoryFailsAndTouchesNothing)
{
    PutCurrentSetExcept("QRMTOVS.EXE");
    ASSERT_TRUE(sandbox.Put("QRMTOVS.BAK", "ver_5_0_0_0.dll"));
    ASSERT_TRUE(sandbox.Put("QRMTOV.DLL", "ver_4_99_0_0.dll"));
    const bool wininitBefore = sandbox.WininitExists();
    // What GetSystemDirectoryA answers for a directory that does not fit, and for a failure.
    for (UINT answer : {250u, 251u, 400u, 0u}) {
        platform.systemDirectory = [answer](LPSTR, UINT size) {
            EXPECT_EQ(250u, size);
            return answer;
        };
        EXPECT_EQ(0, CheckComponents()) << answer;
        EXPECT_FALSE(sandbox.Exists("QRMTOVS.EXE")) << "nothing restored";
        EXPECT_EQ(wininitBefore, sandbox.WininitExists());
        ExpectNothingScheduled();
    }
}

TEST_F(ComponentTest, SystemDirectoryOf249CharactersIsUsed)
{
    // Longest directory that fits: the check runs (nothing is found there, so it passes).
    const std::string longDirectory = "C:\\" + std::string(246, 'd');
    ASSERT_EQ(249u, longDirectory.size());
    platform.systemDirectory = [&](LPSTR buffer, UINT) {
        lstrcpyA(buffer, longDirectory.c_str());
        return static_cast<UINT>(longDirectory.size());
    };
    EXPECT_EQ(1, CheckComponents());
}

TEST_F(ComponentTest, ReplacementCopiesEveryBackupAndWritesSevenEntries)
{
    const char *const fixtures[] = {"ver_5_0_0_0.dll",  "ver_6_0_0_0.dll", "ver_97_0_0_0.dll", "ver_96_5_0_0.dll",
                                    "ver_4_99_0_0.dll", "no_version.dll",  "ver_96_4_9_9.dll"};
    for (size_t i = 0; i < 7; ++i)
        ASSERT_TRUE(sandbox.Put(std::string(kTargets[i]) + ".bak", fixtures[i]));

    ScheduleComponentReplacement();

    EXPECT_EQ(ExpectedRenameLines(), sandbox.RenameLines());
    const std::string directory = SystemDirectory();
    EXPECT_EQ(directory + "\\qrmtovs.exe=" + directory + "\\qrmtovs.tmp", sandbox.RenameLines().front());
    std::vector<std::pair<std::string, std::string>> expectedPending;
    for (size_t i = 0; i < 7; ++i) {
        const std::string stem = directory + "\\" + kTargets[i];
        EXPECT_EQ(ReadWholeFile(FixturePath(fixtures[i])), sandbox.Content(std::string(kTargets[i]) + ".tmp"))
            << kTargets[i];
        expectedPending.emplace_back("\\??\\" + stem + ".tmp", "!\\??\\" + stem + "." + kTargetExtensions[i]);
    }
    EXPECT_EQ(expectedPending, sandbox.PendingRenames()) << "replace-existing renames at the next restart";
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(ComponentTest, SecondReplacementLeavesEachKeyOnceAndRefreshesTheCopies)
{
    for (const char *target : kTargets)
        ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
    ScheduleComponentReplacement();
    ASSERT_TRUE(sandbox.Put("qrmpps.bak", "ver_6_0_0_0.dll"));
    ScheduleComponentReplacement();

    EXPECT_EQ(ExpectedRenameLines(), sandbox.RenameLines());
    EXPECT_EQ(ReadWholeFile(FixturePath("ver_6_0_0_0.dll")), sandbox.Content("qrmpps.tmp"));
    EXPECT_EQ(7u, sandbox.PendingRenames().size()) << "each rename registered once";
}

TEST_F(ComponentTest, FailedCopyRegistersNoRenameForItsRow)
{
    for (const char *target : kTargets) {
        if (std::string(target) != "qrmlmdll") {
            ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
        }
    }
    // A temporary file of an earlier run must not replace the component at restart.
    ASSERT_TRUE(sandbox.Put("qrmlmdll.tmp", "ver_4_99_0_0.dll"));
    ScheduleComponentReplacement();
    EXPECT_TRUE(sandbox.Exists("qrmlmpm.tmp"));
    std::vector<std::string> expected = ExpectedRenameLines();
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const std::string &line) { return line.find("qrmlmdll") != std::string::npos; }),
                   expected.end());
    EXPECT_EQ(expected, sandbox.RenameLines());
    EXPECT_EQ(6u, sandbox.PendingRenames().size());
    EXPECT_TRUE(platform.Lines().empty()) << "a missing backup is skipped silently";
}

TEST_F(ComponentTest, FailedCopyTakesBackWhatAnEarlierRunScheduledForItsRow)
{
    for (const char *target : kTargets)
        ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
    ScheduleComponentReplacement();
    sandbox.Remove("qrmlmdll.bak");
    ScheduleComponentReplacement();

    for (const std::string &line : sandbox.RenameLines())
        EXPECT_EQ(std::string::npos, line.find("qrmlmdll")) << line;
    EXPECT_EQ(6u, sandbox.RenameLines().size());
    for (const auto &pending : sandbox.PendingRenames())
        EXPECT_EQ(std::string::npos, pending.first.find("qrmlmdll")) << pending.first;
    EXPECT_EQ(6u, sandbox.PendingRenames().size());
}

TEST_F(ComponentTest, BackupThatWillNotCopyIsLoggedWithItsCode)
{
    for (const char *target : kTargets)
        ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
    const std::string directory = SystemDirectory();
    const std::string temporary = directory + "\\qrmlmdll.tmp";
    // Held open without sharing, the temporary copy cannot be overwritten.
    HANDLE held = CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ScheduleComponentReplacement();
    CloseHandle(held);
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: ScheduleComponentReplacement: CopyFile(" + directory +
                                        "\\qrmlmdll.bak, " + temporary + ") failed (20h)\n"}),
              platform.Lines());
}

TEST_F(ComponentTest, ReplacementWithUnusableSystemDirectoryDoesNothing)
{
    for (const char *target : kTargets)
        ASSERT_TRUE(sandbox.Put(std::string(target) + ".bak", "ver_5_0_0_0.dll"));
    const bool wininitBefore = sandbox.WininitExists();
    for (UINT answer : {250u, 0u}) {
        platform.systemDirectory = [answer](LPSTR, UINT) { return answer; };
        ScheduleComponentReplacement();
        EXPECT_EQ(wininitBefore, sandbox.WininitExists());
        ExpectNothingScheduled();
    }
}
