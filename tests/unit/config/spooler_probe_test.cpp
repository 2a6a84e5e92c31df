// The spooler job probe and the suspend veto, on a scripted spooler behind the seams.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/spooler_probe.h"
#include "core/instance_state.h"
#include "handlers/main_window_proc.h"
#include "platform_recorder.h"
#include "qelapp32/client.h"

namespace {

constexpr char kPrinter[] = "Probe Printer";
HANDLE const kPrinterHandle = reinterpret_cast<HANDLE>(0x5150);
// A JOB_INFO_1 record and the strings the spooler puts behind it.
constexpr DWORD kRecordSize = 120;

// What the scripted spooler holds and what it was asked.
struct ScriptedSpooler {
    bool knowsPrinter = true;
    std::vector<DWORD> jobIds; // the queue, first job first
    bool vanishBeforeSecondEnum = false;
    bool failSecondEnum = false;
    DWORD neededOverride = 0; // non-zero: the size the first enumeration reports
    BOOL setJobAnswer = TRUE;

    std::vector<std::string> calls;
    std::string openedName;
    bool bufferZeroedOnEntry = true;
    DWORD cancelledJob = 0;
    DWORD setJobLevel = 99;
    LPBYTE setJobRecord = reinterpret_cast<LPBYTE>(1);
    DWORD setJobCommand = 0;
    HANDLE closedHandle = nullptr;
};

ScriptedSpooler *g_spooler = nullptr;

BOOL WINAPI ScriptedOpen(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    g_spooler->calls.push_back(defaults == nullptr ? "OpenPrinterA" : "OpenPrinterA(defaults)");
    g_spooler->openedName = name != nullptr ? name : "";
    if (!g_spooler->knowsPrinter || g_spooler->openedName != kPrinter) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    *printer = kPrinterHandle;
    return TRUE;
}

BOOL WINAPI ScriptedEnumJobs(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE jobs, DWORD size,
                             LPDWORD needed, LPDWORD returned)
{
    ScriptedSpooler &spooler = *g_spooler;
    const bool probing = jobs == nullptr;
    spooler.calls.push_back(std::string("EnumJobsA(") + (probing ? "null" : "buffer") + ", " + std::to_string(size) +
                            ")");
    EXPECT_EQ(kPrinterHandle, printer);
    EXPECT_EQ(0u, first);
    EXPECT_EQ(1u, count);
    EXPECT_EQ(1u, level);
    const bool hasJob = !spooler.jobIds.empty() && !(spooler.vanishBeforeSecondEnum && !probing);
    const DWORD recordSize = hasJob ? kRecordSize : 0;
    *returned = 0;
    if (probing) {
        *needed = spooler.neededOverride != 0 ? spooler.neededOverride : recordSize;
        SetLastError(hasJob ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
        return !hasJob;
    }
    for (DWORD i = 0; i < size; ++i) {
        if (jobs[i] != 0)
            spooler.bufferZeroedOnEntry = false;
    }
    if (spooler.failSecondEnum) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *needed = recordSize;
    if (hasJob) {
        JOB_INFO_1A record{};
        record.JobId = spooler.jobIds.front();
        std::memcpy(jobs, &record, sizeof(record));
        *returned = 1;
    }
    return TRUE;
}

BOOL WINAPI ScriptedSetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE record, DWORD command)
{
    EXPECT_EQ(kPrinterHandle, printer);
    g_spooler->calls.push_back("SetJobA");
    g_spooler->cancelledJob = jobId;
    g_spooler->setJobLevel = level;
    g_spooler->setJobRecord = record;
    g_spooler->setJobCommand = command;
    return g_spooler->setJobAnswer;
}

BOOL WINAPI ScriptedClose(HANDLE printer)
{
    g_spooler->calls.push_back("ClosePrinter");
    g_spooler->closedHandle = printer;
    return TRUE;
}

class SpoolerProbeTest : public ::testing::Test {
protected:
    SpoolerProbeTest()
    {
        g_spooler = &spooler;
        platform.spooler.OpenPrinterA = ScriptedOpen;
        platform.spooler.EnumJobsA = ScriptedEnumJobs;
        platform.spooler.SetJobA = ScriptedSetJob;
        platform.spooler.ClosePrinter = ScriptedClose;
        savedName_ = g_printerName;
        g_printerName = kPrinter;
    }
    ~SpoolerProbeTest() override
    {
        g_printerName = savedName_;
        g_spooler = nullptr;
    }

    PlatformRecorder platform;
    ScriptedSpooler spooler;

private:
    const char *savedName_;
};

const std::vector<std::string> kFullProbe = {"OpenPrinterA", "EnumJobsA(null, 0)", "EnumJobsA(buffer, 120)",
                                             "ClosePrinter"};

} // namespace

TEST_F(SpoolerProbeTest, EmptyQueueAnswers0AndClosesThePrinter)
{
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ((std::vector<std::string>{"OpenPrinterA", "EnumJobsA(null, 0)", "ClosePrinter"}), spooler.calls);
    EXPECT_EQ(kPrinter, spooler.openedName);
    EXPECT_EQ(kPrinterHandle, spooler.closedHandle);
}

TEST_F(SpoolerProbeTest, OneQueuedJobAnswers1)
{
    spooler.jobIds = {42};
    EXPECT_EQ(1u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ(kFullProbe, spooler.calls);
    EXPECT_TRUE(spooler.bufferZeroedOnEntry) << "the block is allocated zero-filled";
}

TEST_F(SpoolerProbeTest, EveryActionButCancelOnlyAsks)
{
    spooler.jobIds = {42};
    for (DWORD action : {0u, 1u, 2u, 4u, 103u}) {
        spooler.calls.clear();
        EXPECT_EQ(1u, GetFirstPrinterJob(action)) << action;
        EXPECT_EQ(kFullProbe, spooler.calls) << action;
    }
}

TEST_F(SpoolerProbeTest, UnknownPrinterAnswers0WithoutFurtherCalls)
{
    spooler.knowsPrinter = false;
    spooler.jobIds = {42};
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ((std::vector<std::string>{"OpenPrinterA"}), spooler.calls);
}

TEST_F(SpoolerProbeTest, JobThatEndedBetweenTheEnumerationsReadsAsNoJob)
{
    spooler.jobIds = {42};
    spooler.vanishBeforeSecondEnum = true;
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ(kFullProbe, spooler.calls);
}

TEST_F(SpoolerProbeTest, FailedSecondEnumerationAnswers0AndCancelsNothing)
{
    spooler.jobIds = {42};
    spooler.failSecondEnum = true;
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeCancel));
    EXPECT_EQ(kFullProbe, spooler.calls);
}

TEST_F(SpoolerProbeTest, BlockThatCannotBeAllocatedAnswers0AndClosesThePrinter)
{
    spooler.jobIds = {42};
    spooler.neededOverride = 0x7FFFFFF0;
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ((std::vector<std::string>{"OpenPrinterA", "EnumJobsA(null, 0)", "ClosePrinter"}), spooler.calls);
}

TEST_F(SpoolerProbeTest, SizeTooSmallForAJobIdIsNotReadBeyond)
{
    spooler.jobIds = {42};
    spooler.neededOverride = 2;
    EXPECT_EQ(0u, GetFirstPrinterJob(kJobProbeAskOnly));
    EXPECT_EQ((std::vector<std::string>{"OpenPrinterA", "EnumJobsA(null, 0)", "EnumJobsA(buffer, 2)", "ClosePrinter"}),
              spooler.calls);
}

TEST_F(SpoolerProbeTest, CancelAsksTheSpoolerToCancelTheFirstJobAndAnswersItsResult)
{
    spooler.jobIds = {42, 43};
    for (BOOL answer : {TRUE, FALSE}) {
        spooler.calls.clear();
        spooler.setJobAnswer = answer;
        EXPECT_EQ(static_cast<DWORD>(answer), GetFirstPrinterJob(kJobProbeCancel));
        EXPECT_EQ((std::vector<std::string>{"OpenPrinterA", "EnumJobsA(null, 0)", "EnumJobsA(buffer, 120)", "SetJobA",
                                            "ClosePrinter"}),
                  spooler.calls);
        EXPECT_EQ(42u, spooler.cancelledJob);
        EXPECT_EQ(0u, spooler.setJobLevel);
        EXPECT_EQ(nullptr, spooler.setJobRecord);
        EXPECT_EQ(static_cast<DWORD>(JOB_CONTROL_CANCEL), spooler.setJobCommand);
    }
}

struct PowerCase {
    WPARAM powerEvent;
    bool jobQueued;
    bool printerKnown;
    LRESULT expected;
    bool spoolerAsked;
};

class SuspendVetoTest : public SpoolerProbeTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(SuspendVetoTest, AnswersThePowerEvent)
{
    const PowerCase &c = GetParam();
    spooler.knowsPrinter = c.printerKnown;
    if (c.jobQueued)
        spooler.jobIds = {7};
    // Straight to the window procedure: the answer must not come from DefWindowProcA.
    EXPECT_EQ(c.expected, MainWindowProc(nullptr, WM_POWERBROADCAST, c.powerEvent, 0));
    EXPECT_EQ(c.spoolerAsked, !spooler.calls.empty());
    EXPECT_TRUE(platform.Lines().empty()) << "the refusal goes to the silent trace only";
}

INSTANTIATE_TEST_SUITE_P(PowerEvents, SuspendVetoTest,
                         ::testing::Values(PowerCase{PBT_APMQUERYSUSPEND, false, true, TRUE, true},
                                           PowerCase{PBT_APMQUERYSUSPEND, true, true, static_cast<LRESULT>(0x424D5144),
                                                     true},
                                           PowerCase{PBT_APMQUERYSUSPEND, true, false, TRUE, true},
                                           PowerCase{PBT_APMRESUMESUSPEND, true, true, 0, false},
                                           PowerCase{PBT_APMSUSPEND, true, true, 0, false},
                                           PowerCase{PBT_APMPOWERSTATUSCHANGE, false, true, 0, false},
                                           PowerCase{PBT_APMQUERYSUSPENDFAILED, true, true, 0, false}));
