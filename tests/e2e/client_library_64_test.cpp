// A 64-bit client on the client library (bin64\client_probe.exe) drives the 32-bit service:
// every request, each one's failure answer as a 64-bit caller receives it, a packet and
// its reply among the instance's own packets, the mailbox, a file and the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/qelctl_process.h"
#include "support/test_files.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;

class ClientLibrary64E2E : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, instance.Process().AccessViolations()); }

    // The probe's lines for the steps, one per step; exit code 0 or the whole output.
    std::string Probe(const std::string &steps)
    {
        const QelctlResult result =
            RunClientProgram(Bin64Directory() + "\\client_probe.exe", Quote(instance.PrinterName()) + " " + steps);
        if (result.exitCode != 0)
            return Describe(result);
        return result.out;
    }

    TestInstance instance{"USB001", "c64"};
};

} // namespace

TEST_F(ClientLibrary64E2E, EveryRequestAnswersAsTheServiceMeantIt)
{
    instance.Sim().Set("device_id", "MFG:Sim;MDL:Printer;");
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ("enum: handle=5 flag=1 ok raw=0000000000050001\n"
              "status: status=0x98 ok raw=0000000000000098\n"
              "deviceid: id=MFG:Sim;MDL:Printer; ok raw=0000000000000014\n"
              "open: ok raw=0000000000000001\n"
              "close: ok raw=0000000000000001\n"
              "ping: ok raw=0000000000000001\n"
              "noop: ok raw=0000000000000001\n"
              "startdoc: ok raw=0000000000000001\n"
              "enddoc: ok raw=0000000000000001\n"
              "capture: ok raw=0000000000000001\n"
              "sending: running=0 ok raw=0000000000000000\n"
              "store:Calibration:00a5ff: ok raw=0000000000000001\n"
              "retrieve:Calibration:16: data=00a5ff ok raw=0000000000000001\n"
              "end:1: ok raw=0000000000000001\n",
              Probe("enum status deviceid open close ping noop startdoc enddoc capture sending "
                    "store:Calibration:00a5ff retrieve:Calibration:16 end:1"));
    EXPECT_TRUE(instance.Process().WaitForExit(kWaitMs));
    const auto retrieves = instance.Sim().CallsNamed("TovRetrieveData");
    ASSERT_EQ(1u, retrieves.size());
    EXPECT_EQ("16", retrieves[0].args[4]) << "the size asked for";
}

// Every failure answer, 0xFFFFFFFF above all, arrives sign-extended; the library still
// reads it as the failure it is.
TEST_F(ClientLibrary64E2E, FailureAnswersAreRefusalsInSixtyFourBits)
{
    ASSERT_TRUE(instance.Start());
    for (const char *entry : {"TovGetDeviceIDStringEx", "TovOpen", "TovClose", "TovPing", "TovStartDoc",
                              "TovCaptureAlerts", "TovStoreData", "TovReleaseAlerts"})
        instance.Sim().Set(std::string("fail.") + entry, "0x1D");
    EXPECT_EQ("enum: handle=5 flag=1 ok raw=0000000000050001\n"
              "deviceid: id= refused raw=ffffffffffffffff\n"
              "open: refused raw=0000000000000000\n"
              "close: refused raw=0000000000000000\n"
              "ping: refused raw=0000000000000000\n"
              "startdoc: refused raw=0000000000000000\n"
              "capture: refused raw=0000000000000000\n"
              "store:Item:01: refused raw=0000000000000000\n"
              "retrieve:Never stored:4: data= refused raw=0000000000000000\n"
              "sendfile:..\\x: refused raw=0000000000000000\n"
              "sendfile2:..\\x: refused raw=0000000000000000\n"
              "end:1: refused raw=0000000000000000\n",
              Probe("enum deviceid open close ping startdoc capture store:Item:01 \"retrieve:Never stored:4\" "
                    "sendfile:..\\x sendfile2:..\\x end:1"));
    EXPECT_TRUE(instance.Process().WaitForExit(kWaitMs)) << "a failed step does not stop the end";
}

TEST_F(ClientLibrary64E2E, FailedEnumIsARefusalNotPrinterHandle0xFFFF)
{
    ASSERT_TRUE(instance.Printer().SetDriverDword(QEL_VALUE_NON_BIDI, 1));
    instance.Printer().SetPortValue("LPT1:");
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ("enum: handle=0 flag=0 refused raw=ffffffffffffffff\n", Probe("enum"));
    EXPECT_TRUE(instance.EndJob());
}

// The first enum after start-up and the captured alerts queue the instance's own packets
// ahead of the printer's reply; the reply call hands each one over and then the reply.
TEST_F(ClientLibrary64E2E, ReplyComesAfterTheInstancesOwnPacketsAndNoneIsLost)
{
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ("enum: handle=5 flag=1 ok raw=0000000000050001\ncapture: ok raw=0000000000000001\n",
              Probe("enum capture"));
    ASSERT_TRUE(PostMessageA(instance.AlertWindow(), WM_TOV_STATUSCHANGE, 0, 0x20));
    ASSERT_TRUE(PostMessageA(instance.AlertWindow(), WM_TOV_VALUE, MAKEWPARAM(0x0102, 5), 0));
    ASSERT_TRUE(PostMessageA(instance.AlertWindow(), WM_TOV_INKJETK20, MAKEWPARAM(7, 0), 0));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovQueryAlerts", 1, kWaitMs));
    EXPECT_EQ("enum: handle=5 flag=1 ok raw=0000000000050001\n"
              "reply:a5000142: met-status=a5000500ff000002 met-value=a5001850fd8000000101010102" +
                  std::string(28, 'f') +
                  " met-alert=a5000551f0112233 reply=a5000142 ok raw=0000000000000004\n"
                  "read: bytes= ok raw=0000000000000000\n",
              Probe("enum reply:a5000142 read"));
    EXPECT_TRUE(instance.EndJob());
}

TEST_F(ClientLibrary64E2E, FileSentByNameArrivesWhole)
{
    const SystemDirectoryFile file("c64", 5000);
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ("enum: handle=5 flag=1 ok raw=0000000000050001\nsendfile:" + file.Name() + ": ok raw=0000000000000001\n",
              Probe("enum sendfile:" + file.Name()));
    // The sender closes the channel once the last byte is written.
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovClose", 1, kWaitMs));
    EXPECT_TRUE(instance.Sim().CaptureBytes() == file.Bytes()) << instance.Sim().CaptureBytes().size();
    EXPECT_TRUE(instance.EndJob());
}

// Two clients would overwrite each other's mailbox values: while another holds the
// printer's mailbox, a store waits its time bound and touches nothing.
TEST_F(ClientLibrary64E2E, StoreWaitsForTheMailboxAnotherClientHolds)
{
    ASSERT_TRUE(instance.Start());
    char name[300];
    wsprintfA(name, QEL_MAILBOX_MUTEX_FORMAT, instance.PrinterName().c_str());
    HANDLE mailbox = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(nullptr, mailbox);
    const std::string qelctl64 = Bin64Directory() + "\\qelctl.exe";
    const std::string store = Quote(instance.PrinterName()) + " store item --text x --answer-timeout 300";
    const QelctlResult held = RunClientProgram(qelctl64, store);
    EXPECT_EQ(6u, held.exitCode) << Describe(held);
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_STORE_NAME));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovStoreData").empty());

    ReleaseMutex(mailbox);
    CloseHandle(mailbox);
    const QelctlResult free = RunClientProgram(qelctl64, store);
    EXPECT_EQ(0u, free.exitCode) << Describe(free);
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovStoreData").size());
    EXPECT_TRUE(instance.EndJob());
}

TEST_F(ClientLibrary64E2E, StartsTheServiceAsAPortMonitorDoesAndEndsIt)
{
    QelctlChild probe("--start " + Quote(BinDirectory() + "\\qelapp32.exe") + " " + Quote(instance.PrinterName()) +
                          " noop end:1",
                      instance.Sim().EnvironmentBlock(), Bin64Directory() + "\\client_probe.exe");
    const QelctlResult result = probe.Wait();
    EXPECT_EQ("start: ok\nnoop: ok raw=0000000000000001\nend:1: ok raw=0000000000000001\n", result.out)
        << Describe(result);
    EXPECT_EQ("TovUnregisterApp", instance.Sim().CallNames().back()) << "the instance ended in order";
}
