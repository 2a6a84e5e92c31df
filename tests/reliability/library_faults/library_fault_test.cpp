// Every library call the service makes may fail or hang. A failure is logged with its
// code and answered as designed, and the instance goes on serving; a call that hangs is
// bounded by the status wait and by shutdown's 500 ms limit.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "battery.h"
#include "battery_support.h"
#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr LRESULT kPosted = -2; // an alert posted to the alert window has no answer
constexpr LRESULT kAnyAnswer = -3;
// Shutdown pauses 500 ms for the alert thread and waits at most 500 ms for the workers;
// the rest is a loaded machine's slack.
constexpr ULONGLONG kShutdownBoundMs = 2500;

// What makes the service call an entry point.
enum class Trigger {
    kEnumerate,        // 1124
    kCaptureAlerts,    // 1136
    kFlashDiskAlert,   // 1525 to the alert window
    kJobAccountAlert,  // 1526
    kPanelAlert,       // 1527
    kPageAlert,        // 1528
    kPartialPageAlert, // 1529
    kInkjetAlert,      // 1594
    kDeviceId,         // 1129
    kPacket,           // 1127 with a command packet
    kQueuedStartDoc,   // 1127 with a message that starts with 1
    kStartDoc,         // 1130
    kEndDoc,           // 1131
    kSendFile,         // 1134
    kOpen,             // 1132
    kClose,            // 1133
    kPing,             // 1135
    kStore,            // 1139
    kRetrieve,         // 1140
};

struct FaultCase {
    const char *entryPoint;
    Trigger trigger;
    LRESULT answer;   // kPosted for alerts
    const char *line; // the whole log line, %X standing for the code; null: none
};

// One row per way into the library on a bidirectional local port.
const FaultCase kFaultCases[] = {
    {"TovEnumSpecificPort", Trigger::kEnumerate, static_cast<LRESULT>(QEL_FAILURE),
     "QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (%Xh)\n"},
    {"TovCaptureAlerts", Trigger::kCaptureAlerts, 0,
     "QELAPP32: WM_QELAPP32_CAPTUREALERTS: TovCaptureAlerts FAILED (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kFlashDiskAlert, kPosted,
     "QELAPP32: WM_TOV_FLASHDISK: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kJobAccountAlert, kPosted,
     "QELAPP32: WM_TOV_JOBACCOUNT: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kPanelAlert, kPosted,
     "QELAPP32: WM_TOV_PANEL: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kPageAlert, kPosted,
     "QELAPP32: WM_TOV_PAGE: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kPartialPageAlert, kPosted,
     "QELAPP32: WM_TOV_PARTIALPAGE: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovQueryAlerts", Trigger::kInkjetAlert, kPosted,
     "QELAPP32: WM_TOV_INKJETK20: TovQueryAlerts (bufSize 200) failed (%Xh)\n"},
    {"TovGetDeviceIDStringEx", Trigger::kDeviceId, static_cast<LRESULT>(QEL_FAILURE),
     "QELAPP32: WM_QELAPP32_GETDEVICEID: TovGetDeviceIDStringEx failed (%Xh)\n"},
    {"TovSendBidi", Trigger::kPacket, 0, "QELAPP32: WriteThread: TovSendBidi FAILED (%Xh)\n"},
    {"TovStartDoc", Trigger::kStartDoc, 0, "QELAPP32: WM_QELAPP32_STARTDOC: TovStartDoc failed (%Xh)\n"},
    {"TovStartDoc", Trigger::kQueuedStartDoc, 0, "QELAPP32: WriteThread: TovStartDoc failed (%Xh)\n"},
    {"TovStartDoc", Trigger::kSendFile, 1, "QELAPP32: SendFileToPrinter:  TovStartDoc failed (%Xh)\n"},
    {"TovEndDoc", Trigger::kEndDoc, 1, "QELAPP32: WriteThread: TovEndDoc failed (%Xh)\n"},
    {"TovEndDoc", Trigger::kSendFile, 1, "QELAPP32: SendFileToPrinter:  TovEndDoc failed (%Xh)\n"},
    {"TovWrite", Trigger::kSendFile, 1, nullptr}, // its answer is not read; only the count steers
    {"TovOpen", Trigger::kSendFile, 1, "QELAPP32: SendFileToPrinter: TovOpen(1, 5, 20) failed (%Xh)\n"},
    {"TovClose", Trigger::kSendFile, 1, "QELAPP32: SendFileToPrinter: TovClose(1, 5) failed (%Xh)\n"},
    {"TovSetJobControlMode", Trigger::kEndDoc, 1, "QELAPP32: SetQELModes: TovSetJobControlMode failed (%Xh)\n"},
    {"TovSetJobCancelMode", Trigger::kStartDoc, 0, "QELAPP32: ResetQELModes: TovSetJobCancelMode failed (%Xh)\n"},
    {"TovSetJobCancelMode", Trigger::kEndDoc, 1, "QELAPP32: SetQELModes: TovSetJobCancelMode failed (%Xh)\n"},
    {"TovSetEndOfJobMode", Trigger::kStartDoc, 0, "QELAPP32: ResetQELModes: TovSetEndOfJobMode failed (%Xh)\n"},
    {"TovSetEndOfJobMode", Trigger::kEndDoc, 1, "QELAPP32: SetQELModes: TovSetEndOfJobMode failed (%Xh)\n"},
    {"TovOpen", Trigger::kOpen, 0, "QELAPP32: WM_QELAPP32_OPEN: TovOpen(1, 5, 20) failed (%Xh)\n"},
    {"TovClose", Trigger::kClose, 0, "QELAPP32: WM_QELAPP32_CLOSE: TovClose(1, 5) failed (%Xh)\n"},
    {"TovPing", Trigger::kPing, 0, "QELAPP32: WM_QELAPP32_PING: TovPing failed (%Xh)\n"},
    {"TovStoreData", Trigger::kStore, 0, "QELAPP32: WM_QELAPP32_STOREDATA: TovStoreData failed (%Xh)\n"},
    {"TovRetrieveData", Trigger::kRetrieve, 0, "QELAPP32: WM_QELAPP32_RETRIEVEDATA: TovRetrieveData failed (%Xh)\n"},
};

// Recognisable, different for every row, and without any of the enumeration's success
// bits 0xC36, so that a failing enumeration reads as one.
DWORD FaultCode(size_t row)
{
    return 0xFA000001u | (static_cast<DWORD>(row + 1) << 12);
}

std::string LineFor(const char *format, DWORD code)
{
    char line[256];
    std::snprintf(line, sizeof(line), format, code);
    return line;
}

std::string Hex(const std::string &bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

// A started instance with its printer found, a file to send and a mailbox to serve.
class FaultBench {
public:
    explicit FaultBench(TestInstance &instance) : instance_(instance), file_("fault", 2 * 4096 + 100) {}

    bool Start()
    {
        instance_.Printer().SetDriverString(QEL_VALUE_STORE_NAME, "fault item");
        instance_.Printer().SetDriverDword(QEL_VALUE_STORE_SIZE, 4);
        instance_.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, "\x01\x02\x03\x04");
        if (!instance_.Start())
            return false;
        alertWindow_ = instance_.AlertWindow();
        return alertWindow_ != nullptr && instance_.Send(WM_QELAPP32_ENUMPRINTER) == 0x00050001;
    }

    LRESULT Run(Trigger trigger)
    {
        switch (trigger) {
        case Trigger::kEnumerate: return instance_.Send(WM_QELAPP32_ENUMPRINTER);
        case Trigger::kCaptureAlerts: return instance_.Send(WM_QELAPP32_CAPTUREALERTS);
        case Trigger::kFlashDiskAlert: return PostAlert(WM_TOV_FLASHDISK);
        case Trigger::kJobAccountAlert: return PostAlert(WM_TOV_JOBACCOUNT);
        case Trigger::kPanelAlert: return PostAlert(WM_TOV_PANEL);
        case Trigger::kPageAlert: return PostAlert(WM_TOV_PAGE);
        case Trigger::kPartialPageAlert: return PostAlert(WM_TOV_PARTIALPAGE);
        case Trigger::kInkjetAlert: return PostAlert(WM_TOV_INKJETK20);
        case Trigger::kDeviceId: {
            RemoteMemory buffer(instance_.Process().Process(), 256);
            return instance_.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(5, 256), buffer.Address());
        }
        case Trigger::kPacket: return Write(std::string("\xA5\x00\x02\xFA\x17", 5));
        case Trigger::kQueuedStartDoc: return Write(std::string(1, '\x01'));
        case Trigger::kStartDoc: return instance_.Send(WM_QELAPP32_STARTDOC, QEL_MAKE_WPARAM(5, 0));
        case Trigger::kEndDoc: return instance_.Send(WM_QELAPP32_ENDDOC, QEL_MAKE_WPARAM(5, 0));
        case Trigger::kSendFile: return SendFile();
        case Trigger::kOpen: return instance_.Send(WM_QELAPP32_OPEN);
        case Trigger::kClose: return instance_.Send(WM_QELAPP32_CLOSE);
        case Trigger::kPing: return instance_.Send(WM_QELAPP32_PING);
        case Trigger::kStore: return instance_.Send(WM_QELAPP32_STOREDATA);
        case Trigger::kRetrieve: return instance_.Send(WM_QELAPP32_RETRIEVEDATA);
        }
        return kAnyAnswer;
    }

    // Every message that clients could read now, oldest first.
    std::vector<std::string> ReadAll()
    {
        std::vector<std::string> messages;
        RemoteMemory buffer(instance_.Process().Process(), 1024);
        for (;;) {
            const LRESULT length = instance_.Send(WM_QELAPP32_READ, 1024, buffer.Address());
            if (length <= 0 || length > 1024)
                return messages;
            messages.push_back(buffer.Read(static_cast<size_t>(length)));
        }
    }

    // A file sender started by a row has ended before the next row runs.
    bool WaitForSenderToEnd()
    {
        const ULONGLONG deadline = GetTickCount64() + kWaitMs;
        while (instance_.Send(WM_QELAPP32_SENDFILE, 0, 0) != 0) {
            if (GetTickCount64() > deadline)
                return false;
            Sleep(20); // the sender's end is seen only through this question
        }
        return true;
    }

private:
    LRESULT PostAlert(UINT message)
    {
        return PostMessageA(alertWindow_, message, MAKEWPARAM(3, 7), 0) ? kPosted : kAnyAnswer;
    }

    LRESULT Write(const std::string &packet)
    {
        RemoteMemory buffer(instance_.Process().Process(), packet.size());
        buffer.Write(packet);
        return instance_.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, packet.size()), buffer.Address());
    }

    LRESULT SendFile()
    {
        const std::string name = file_.Name() + std::string(1, '\0');
        RemoteMemory buffer(instance_.Process().Process(), name.size());
        buffer.Write(name);
        // The name is copied while the request is served; the buffer may go afterwards.
        return instance_.Send(WM_QELAPP32_SENDFILE, 0, buffer.Address());
    }

    TestInstance &instance_;
    SystemDirectoryFile file_;
    HWND alertWindow_ = nullptr;
};

bool IsAlertDataPacket(const std::string &packet)
{
    return packet.size() >= 5 && packet[0] == '\xA5' && packet[3] == '\x51' && packet[4] == '\xF0';
}

} // namespace

TEST(LibraryFaults, EveryFailingCallIsLoggedAnsweredAndSurvived)
{
    TestInstance instance("LPT1:", "fault");
    FaultBench bench(instance);
    ASSERT_TRUE(bench.Start());

    for (size_t row = 0; row < sizeof(kFaultCases) / sizeof(kFaultCases[0]); ++row) {
        const FaultCase &fault = kFaultCases[row];
        const DWORD code = FaultCode(row);
        SCOPED_TRACE(std::string(fault.entryPoint) + " through trigger " +
                     std::to_string(static_cast<int>(fault.trigger)));
        instance.Sim().Set(std::string("fail.") + fault.entryPoint, std::to_string(code));
        const size_t linesBefore = instance.Process().LogLines().size();

        const LRESULT answer = bench.Run(fault.trigger);
        if (fault.answer == kPosted) {
            EXPECT_EQ(kPosted, answer);
        } else {
            EXPECT_EQ(fault.answer, answer);
        }
        if (fault.trigger == Trigger::kSendFile) {
            EXPECT_TRUE(bench.WaitForSenderToEnd());
        }
        if (fault.line != nullptr) {
            const std::string line = LineFor(fault.line, code);
            EXPECT_TRUE(instance.Process().WaitForLogLine(line, kWaitMs))
                << "expected " << line << "among " << ::testing::PrintToString(instance.Process().LogLines());
        } else {
            ASSERT_TRUE(WaitForCall(instance.Sim(), fault.entryPoint, 1, kWaitMs));
        }
        instance.Sim().Clear(std::string("fail.") + fault.entryPoint);

        // Nothing of a failed call reaches clients.
        for (const std::string &packet : bench.ReadAll()) {
            EXPECT_NE("a50002fa17", Hex(packet)) << "the failed packet's reply was queued";
            EXPECT_FALSE(IsAlertDataPacket(packet)) << "a failed alert query queued " << Hex(packet);
        }
        // The row's code shows in no other line: each failure is logged once.
        const std::vector<std::string> lines = instance.Process().LogLines();
        if (fault.line != nullptr) {
            size_t seen = 0;
            for (size_t i = linesBefore; i < lines.size(); ++i)
                seen += lines[i] == LineFor(fault.line, code) ? 1 : 0;
            EXPECT_EQ(1u, seen);
        }
        EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP)) << "the instance goes on serving";
        instance.Sim().ResetCalls();
    }
    // A printer found again after the failed enumeration.
    EXPECT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_PING));

    // Shutdown with its two library calls failing still ends the instance and signals.
    instance.Sim().Set("fail.TovReleaseAlerts", "0xFA0FF001");
    instance.Sim().Set("fail.TovUnregisterApp", "0xFA0FF002");
    LRESULT answer = -1;
    ASSERT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5), &answer));
    EXPECT_EQ(0, answer);
    EXPECT_TRUE(
        instance.Process().HasLogLine("QELAPP32: WM_QELAPP32_UNREGISTER: TovReleaseAlerts FAILED (FA0FF001h)\n"));
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovUnregisterApp").size());
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(LibraryFaults, FailingStatusQueryLeavesTheStatusAsItWas)
{
    TestInstance instance("LPT1:", "faultstatus");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER)) << "a local port: 1128 waits for the printer";
    EXPECT_EQ(QEL_STATUS_READY, instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED));

    // The printer is in error, but the query fails: the last status stands.
    instance.Sim().Set("status_state", "2");
    instance.Sim().Set("fail.TovQueryPrinterStatus", "0xFA0AA001");
    EXPECT_EQ(QEL_STATUS_READY, instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED));
    instance.Sim().Clear("fail.TovQueryPrinterStatus");
    EXPECT_EQ(QEL_STATUS_ERROR, instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED));
    instance.Sim().Set("status_state", "0");
    EXPECT_EQ(QEL_STATUS_READY, instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED));
    const ULONGLONG lastRefresh = GetTickCount64();

    // A printer that takes seconds to answer: 1128 gives up after its 1000 ms and reports
    // the error. The refresh is due only 2000 ms after the last one; no event marks that.
    instance.Sim().Set("delay.TovQueryPrinterStatus", "3000");
    const ULONGLONG sinceRefresh = ElapsedMs(lastRefresh);
    if (sinceRefresh < 2100)
        Sleep(static_cast<DWORD>(2100 - sinceRefresh));
    const ULONGLONG asked = GetTickCount64();
    EXPECT_EQ(QEL_STATUS_ERROR, instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE));
    const ULONGLONG waited = ElapsedMs(asked);
    ReportFigure("status_wait_with_a_hanging_printer_ms", std::to_string(waited));
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 1000u + 1000u);

    // Shutdown while the status thread still sits in the library: cut off after 500 ms.
    // Two queries for each forced request, then the hanging one.
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovQueryPrinterStatus", 9, kWaitMs));
    const ULONGLONG ending = GetTickCount64();
    ASSERT_TRUE(instance.EndJob());
    const ULONGLONG shutdown = ElapsedMs(ending);
    ReportFigure("shutdown_with_status_thread_in_library_ms", std::to_string(shutdown));
    EXPECT_LT(shutdown, kShutdownBoundMs);
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(LibraryFaults, WriteThreadHangingInTheLibraryIsCutOffAtShutdown)
{
    TestInstance instance("LPT1:", "faulthang");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    instance.Sim().Set("delay.TovSendBidi", "60000");
    RemoteMemory packet(instance.Process().Process(), 8);
    packet.Write(std::string("\xA5\x00\x01\x42", 4));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 4), packet.Address()));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSendBidi", 1, kWaitMs));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP)) << "the main thread does not wait for the write thread";

    const ULONGLONG ending = GetTickCount64();
    ASSERT_TRUE(instance.EndJob());
    const ULONGLONG shutdown = ElapsedMs(ending);
    ReportFigure("shutdown_with_write_thread_in_library_ms", std::to_string(shutdown));
    EXPECT_LT(shutdown, kShutdownBoundMs);
    EXPECT_EQ(0u, instance.Process().ExitCode());
    DWORD hwnd = 1;
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(0u, hwnd);
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovUnregisterApp").size());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(LibraryFaults, RawPortWritesFailingAreLoggedAndTheSenderEnds)
{
    TestInstance instance("LPT1:", "faultraw");
    instance.Printer().SetDriverDword(QEL_VALUE_NON_BIDI, 1);
    SystemDirectoryFile file("faultraw", 4096 + 10);
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(static_cast<LRESULT>(QEL_FAILURE), instance.Send(WM_QELAPP32_ENUMPRINTER)) << "a non-bidi local port";
    instance.Sim().Set("fail.TovWriteUNI", "0xFA0BB001");

    const std::string name = file.Name() + std::string(1, '\0');
    RemoteMemory buffer(instance.Process().Process(), name.size());
    buffer.Write(name);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_SENDFILE2, 0, buffer.Address()));
    for (const char *line : {"QELAPP32: SendFileToPrinter: TovWriteUNI StartDoc failed (FA0BB001h)\n",
                             "QELAPP32: SendFileToPrinter:  TovWriteUNI failed (FA0BB001h)\n",
                             "QELAPP32: SendFileToPrinter: TovWriteUNI EndDoc failed (FA0BB001h)\n"})
        EXPECT_TRUE(instance.Process().WaitForLogLine(line, kWaitMs)) << line;
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(LibraryFaults, StartUpSurvivesAFailingPingAndEndsOnARefusedRegistration)
{
    {
        TestInstance instance("LPT1:", "faultping");
        instance.Sim().Set("fail.TovPing", "0xFA0CC001");
        ASSERT_TRUE(instance.Start()) << "an error code from the ping skips the starter and goes on";
        EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
        EXPECT_TRUE(instance.EndJob());
        EXPECT_EQ(0, instance.Process().AccessViolations());
    }
    TestInstance instance("LPT1:", "faultregister");
    instance.Sim().Set("register_answer", "0x8FA0");
    EXPECT_FALSE(instance.Start());
    ASSERT_TRUE(instance.Process().WaitForExit(kWaitMs));
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_TRUE(instance.Process().HasLogLine("QELAPP32: ERROR: TovRegisterApp FAILED <FFFF8FA0h>\n"));
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_HWND));
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(LibraryFaults, FailingNetworkEnumerationFindsNoPrinter)
{
    TestInstance instance("\\\\qelserver\\queue", "faultunc");
    instance.Sim().Set("fail.TovEnumByUNC", "0xFA0DD001");
    ASSERT_TRUE(instance.Start());
    // Its answer is not read: the failure shows as the record that never came.
    EXPECT_EQ(static_cast<LRESULT>(QEL_FAILURE), instance.Send(WM_QELAPP32_ENUMPRINTER));
    EXPECT_TRUE(
        instance.Process().HasLogLine("QELAPP32: TovEnumSpecificPort or TovEnumByUNC PrinterInfo.hPrinter == 0\n"));
    instance.Sim().Clear("fail.TovEnumByUNC");
    EXPECT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
